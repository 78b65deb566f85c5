// Administration: exclusions, servers with purge, users.
import { expect } from './harness.mjs';

const notice = (page) => page.locator('.notice').innerText();

export const adminChecks = [
  ['the exclusion grid is submitted as one change', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.goto(`${h.base}/exclusions`);
    await page.check('input[aria-label="Exclude SRV02 Information"]');
    await page.check('input[aria-label="Exclude SRV01 Success Audit"]');
    await Promise.all([page.waitForNavigation(), page.click('#exclusion-form button')]);
    expect((await notice(page)).includes('2 exclusion(s) changed'), await notice(page));
    expect(await page.isChecked('input[aria-label="Exclude SRV02 Information"]'), 'not kept');
    await h.shot(page, 'exclusions');
    await page.uncheck('input[aria-label="Exclude SRV01 Success Audit"]');
    await Promise.all([page.waitForNavigation(), page.click('#exclusion-form button')]);
    expect((await notice(page)).includes('1 exclusion(s) changed'), await notice(page));
    expect(!(await page.isChecked('input[aria-label="Exclude SRV01 Success Audit"]')),
           'not removed');
    expect(await page.locator('input[type=checkbox]:checked').count() === 1, 'other cells moved');
    await page.context().close();
  }],
  ['a server with entries is purged to the end, then deleted', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.goto(`${h.base}/servers`);
    const row = page.locator('tr[data-server="SRV01"]');
    await Promise.all([page.waitForNavigation(), row.locator('button:text("Delete")').click()]);
    expect((await notice(page)).includes('still has stored entries'), await notice(page));
    await page.locator('tr[data-server="SRV01"] button:text("Purge entries")').click();
    await page.locator('#purge-1 .purge-text:text("Done")').waitFor({ timeout: 60000 });
    expect((await page.locator('#purge-1 .purge-text').innerText()) ===
           'Done: 1250 entries deleted.', await page.locator('#purge-1 .purge-text').innerText());
    await h.shot(page, 'servers-purged');
    await page.reload();
    expect((await page.locator('tr[data-server="SRV01"] td.num').innerText()) === '0',
           'entries remain');
    await Promise.all([page.waitForNavigation(),
                       page.locator('tr[data-server="SRV01"] button:text("Delete")').click()]);
    expect((await notice(page)).includes('Server deleted.'), await notice(page));
    expect(await page.locator('tr[data-server="SRV01"]').count() === 0, 'still listed');
    await page.context().close();
  }],
  ['servers are added and disabled', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.goto(`${h.base}/servers`);
    await page.fill('#add-server input[name=name]', 'SRV09');
    await page.fill('#add-server input[name=description]', 'Mail <relay> & "queue"');
    await Promise.all([page.waitForNavigation(), page.click('#add-server button')]);
    const row = page.locator('tr[data-server="SRV09"]');
    expect((await row.innerText()).includes('Mail <relay> & "queue"'), 'not listed as text');
    await page.fill('#add-server input[name=name]', 'srv09');
    await Promise.all([page.waitForNavigation(), page.click('#add-server button')]);
    expect((await notice(page)).includes('already has that name'), await notice(page));
    await Promise.all([page.waitForNavigation(), row.locator('button:text("Disable")').click()]);
    expect((await page.locator('tr[data-server="SRV09"]').innerText()).includes('Disabled'),
           'not disabled');
    await h.shot(page, 'servers');
    await page.context().close();
  }],
  ['users are added, edited and deleted; passwords never reach a page', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.goto(`${h.base}/users`);
    const form = page.locator('#add-user');
    await form.locator('input[name=username]').fill('carol');
    await form.locator('input[name=first]').fill('Carol');
    await form.locator('input[name=last]').fill('Smith');
    await form.locator('input[name=password]').fill('carol-pass-1');
    await form.locator('input[name=password2]').fill('carol-pass-1');
    await Promise.all([page.waitForNavigation(), form.locator('button').click()]);
    expect((await notice(page)).includes('User carol added.'), await notice(page));
    expect(!(await page.content()).includes('argon2'), 'a password hash reached the page');
    await h.shot(page, 'users');
    await Promise.all([page.waitForNavigation(),
                       page.locator('tr[data-user="carol"] a:text("Edit")').click()]);
    await page.fill('#edit-user input[name=last]', 'Jones');
    await page.selectOption('#edit-user select[name=role]', { label: 'Administrator' });
    await Promise.all([page.waitForNavigation(), page.click('#edit-user button')]);
    await page.fill('#change-password input[name=password]', 'carol-pass-2');
    await page.fill('#change-password input[name=password2]', 'carol-pass-2');
    await Promise.all([page.waitForNavigation(), page.click('#change-password button')]);
    expect((await notice(page)).includes('Password changed.'), await notice(page));
    expect(await page.locator('input[type=password][value]').count() === 0, 'a password filled in');
    await h.shot(page, 'user');
    const carol = await h.page();
    await h.signIn(carol, 'carol', 'carol-pass-2');
    expect(await carol.locator('nav.main-nav a[href="/users"]').count() === 1, 'not an admin now');
    await carol.context().close();
    await page.goto(`${h.base}/users`);
    const row = await page.locator('tr[data-user="carol"]').innerText();
    expect(row.includes('Jones') && row.includes('Administrator'), `row: ${row}`);
    await Promise.all([page.waitForNavigation(),
                       page.locator('tr[data-user="carol"] button:text("Delete")').click()]);
    expect(await page.locator('tr[data-user="carol"]').count() === 0, 'carol still listed');
    await page.goto(`${h.base}/status`);
    // The ledger highlights the log that lost records, and only that one.
    const gaps = page.locator('#completeness tr.gap');
    expect(await gaps.count() === 1, 'one ledger row highlighted');
    expect((await gaps.innerText()).includes('40 record(s) lost'), 'gap size shown');
    // SRV01 was deleted above: its ledger rows stay, named as a deleted server, not by a bare id.
    const servers = await page.locator('#completeness table.ledger tbody th').allInnerTexts();
    expect(servers.includes('(deleted server 1)') && !servers.includes('1'),
           `ledger servers: ${servers}`);
    await h.shot(page, 'status');
    await page.context().close();
  }],
];
