// Sign-in, roles, sign-out and the CSRF guard.
import { expect } from './harness.mjs';

async function loginMessage(h, user, password) {
  const page = await h.page();
  await h.signIn(page, user, password);
  const text = await page.locator('.alert.error').innerText().catch(() => '');
  await page.context().close();
  return text;
}

export const authChecks = [
  ['a wrong password and an unknown user get the same refusal', async (h) => {
    const wrong = await loginMessage(h, 'admin', 'not-the-password');
    const unknown = await loginMessage(h, 'nobody-here', 'whatever');
    expect(wrong.includes('The user name or the password is wrong.'), `got "${wrong}"`);
    expect(wrong === unknown, `"${wrong}" differs from "${unknown}"`);
  }],
  ['a good sign-in opens the log browser', async (h) => {
    const page = await h.page();
    await page.goto(`${h.base}/login`);
    await h.shot(page, 'login');
    await h.signIn(page);
    expect(new URL(page.url()).pathname === '/logs', `landed on ${page.url()}`);
    expect(await page.locator('#entries tbody tr').count() === 50, 'no page of entries');
    const cookie = (await page.context().cookies()).find((c) => c.name === 'tamsel_session');
    expect(cookie && cookie.httpOnly && cookie.sameSite === 'Strict', 'weak session cookie');
    expect(cookie.value.length === 64, 'session token is not 256 bits');
    await page.context().close();
  }],
  ['a user who is not an administrator is refused the administration pages', async (h) => {
    const page = await h.page();
    await h.signIn(page, 'viewer', 'viewer-pass-1');
    expect(await page.locator('nav.main-nav a[href="/users"]').count() === 0, 'Users link shown');
    expect(await page.locator('nav.main-nav a[href="/servers"]').count() === 0,
           'Servers link shown');
    for (const path of ['/users', '/servers', '/exclusions']) {
      const response = await page.goto(`${h.base}${path}`);
      expect(response.status() === 403, `${path} answered ${response.status()}`);
    }
    await h.shot(page, 'forbidden');
    const post = await page.request.post(`${h.base}/servers`, { form: { name: 'X' } });
    expect(post.status() === 403, `POST /servers answered ${post.status()}`);
    await page.context().close();
  }],
  ['a POST without the CSRF token is refused', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    for (const form of [{ name: 'EVIL' }, { name: 'EVIL', csrf: 'wrong' }]) {
      const response = await page.request.post(`${h.base}/servers`, { form });
      expect(response.status() === 403, `answered ${response.status()}`);
    }
    await page.goto(`${h.base}/servers`);
    expect(!(await page.content()).includes('EVIL'), 'the server was added');
    await page.context().close();
  }],
  ['sign-out ends the session', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await Promise.all([page.waitForNavigation(), page.click('form.signout button')]);
    expect(new URL(page.url()).pathname === '/login', `after sign-out at ${page.url()}`);
    await page.goto(`${h.base}/status`);
    expect(new URL(page.url()).pathname === '/login', 'the session still works');
    await page.context().close();
  }],
  ['repeated failures throttle the name, even with the right password', async (h) => {
    for (let i = 0; i < 5; i += 1) await loginMessage(h, 'viewer', `guess-${i}`);
    const text = await loginMessage(h, 'viewer', 'viewer-pass-1');
    expect(text.includes('Too many failed sign-ins'), `got "${text}"`);
    const other = await h.page();
    await h.signIn(other);
    expect(new URL(other.url()).pathname === '/logs', 'another user was throttled too');
    await other.context().close();
  }],
];
