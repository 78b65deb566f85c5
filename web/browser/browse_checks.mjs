// The log browser: filter, pages, details, keyboard, deep links, CSV and escaping.
import { expect } from './harness.mjs';

const keys = (page) => page.locator('#entries tbody tr').evaluateAll(
  (rows) => rows.map((row) => row.dataset.leid));
const count = async (page) => Number((await page.locator('.pager .count strong').innerText()));

export const browseChecks = [
  ['filter, page, next page, details and back', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.click('.tree a:text-is("SRV01")');
    await page.selectOption('select[name=type]', { label: 'Information' });
    await Promise.all([page.waitForNavigation(), page.click('#filter button[type=submit]')]);
    const url = new URL(page.url());
    expect(url.searchParams.get('server') === '1' && url.searchParams.get('type') === '4',
           `filter not in the link: ${url.search}`);
    const total = await count(page);
    expect(total > 0 && total < 150, `unexpected count ${total}`);
    const first = await keys(page);
    await Promise.all([page.waitForNavigation(), page.click('[data-nav=next]')]);
    expect(new URL(page.url()).searchParams.get('page') === '2', 'not on page 2');
    const second = await keys(page);
    expect(second.length > 0 && !second.some((k) => first.includes(k)), 'page 2 repeats page 1');
    const rows = await page.locator('#entries tbody tr td:nth-child(2)').allInnerTexts();
    expect(rows.every((server) => server === 'SRV01'), 'a row of another server');
    await page.keyboard.press('j');
    await page.keyboard.press('j');
    await page.keyboard.press('Enter');
    expect(await page.locator('#details').isVisible(), 'details did not open');
    expect((await page.locator('#details [data-field=leid]').innerText()) === second[1],
           'details of another row');
    await h.shot(page, 'details');
    await page.keyboard.press('Escape');
    expect(!(await page.locator('#details').isVisible()), 'Esc did not close the details');
    const listUrl = page.url();
    await page.goto(`${h.base}/entries/${second[0]}?back=${encodeURIComponent(listUrl.slice(h.base.length))}`);
    expect((await page.locator('h1').innerText()).includes(second[0]), 'wrong entry page');
    await h.shot(page, 'entry');
    await Promise.all([page.waitForNavigation(), page.click('#back')]);
    expect(page.url() === listUrl, `back went to ${page.url()}`);
    expect(JSON.stringify(await keys(page)) === JSON.stringify(second), 'back shows other rows');
    await page.keyboard.press('p');
    await page.waitForURL((u) => !u.searchParams.has('page'));
    expect(JSON.stringify(await keys(page)) === JSON.stringify(first), 'p did not go back');
    await page.context().close();
  }],
  ['a deep link reloads the same rows in a new session', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    const link = '/logs?range=7d&type=1&type=2&eventid=100,101,102,103&sort=EventID&order=asc&size=10&page=2';
    await page.goto(`${h.base}${link}`);
    const rows = await keys(page);
    expect(rows.length === 10, `${rows.length} rows`);
    await page.reload();
    expect(JSON.stringify(await keys(page)) === JSON.stringify(rows), 'reload changed the rows');
    const other = await h.page();
    await h.signIn(other);
    await other.goto(`${h.base}${link}`);
    expect(JSON.stringify(await keys(other)) === JSON.stringify(rows), 'another session differs');
    expect(await other.locator('select[name=type] option[selected]').count() === 2,
           'the form does not show the filter');
    await other.context().close();
    await page.context().close();
  }],
  ['the CSV export holds every matching entry', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.goto(`${h.base}/logs?server=1&size=10`);
    const total = await count(page);
    const download = page.waitForEvent('download');
    await page.click('a:text("Export CSV")');
    const stream = await (await download).createReadStream();
    let text = '';
    for await (const chunk of stream) text += chunk.toString('utf8');
    expect(text.startsWith('\uFEFFEntry,Time generated,Server,Log,'), 'no BOM or header');
    const records = text.split('\r\n').filter((line) => /^\d+,/.test(line));
    expect(records.length === total, `${records.length} rows for ${total} entries`);
    expect(records.every((line) => line.split(',')[2] === 'SRV01'), 'a row of another server');
    expect(text.includes('"Disk ""D:"" is full, 0 bytes free\r\nclean up, please"'),
           'the quoted message is missing');
    await page.context().close();
  }],
  ['a message holding a script is shown as text', async (h) => {
    const page = await h.page();
    let dialogs = 0;
    page.on('dialog', () => { dialogs += 1; });
    await h.signIn(page);
    const cell = page.locator('#entries tbody tr').first().locator('td.message');
    expect((await cell.innerText()).startsWith("<script>alert('xss')</script>"), 'not shown as text');
    await page.locator('#entries tbody tr').first().click();
    const message = await page.locator('#details [data-field=message]').innerText();
    expect(message.includes('<script>') && message.includes('\nsecond line'), `got ${message}`);
    expect(await page.locator('main script').count() === 0, 'a script element from data');
    expect(dialogs === 0, 'the script ran');
    const csp = (await page.request.get(`${h.base}/logs`)).headers()['content-security-policy'];
    expect(csp && csp.includes("script-src 'self'"), 'no Content-Security-Policy');
    await h.shot(page, 'logs');
    await page.context().close();
  }],
  ['a filter without matches says so', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.goto(`${h.base}/logs?eventid=4242`);
    expect((await page.locator('.alert.empty').innerText()) === 'No entries match.',
           'no "No entries match"');
    await page.goto(`${h.base}/logs?server=abc&type=1%3BDROP`);
    expect(await page.locator('.alert.error').count() === 2, 'bad values not reported');
    expect(await page.locator('#entries tbody tr').count() === 50, 'bad values broke the page');
    await page.context().close();
  }],
  ['the status page counts the stored entries of each server', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.goto(`${h.base}/status`);
    expect(await page.locator('.alert.error').count() === 0,
           `an error: ${await page.locator('.alert.error').allInnerTexts()}`);
    const servers = await page.locator('tr.server-row').allInnerTexts();
    expect(servers.length === 2 && servers.every((row) => row.includes('150')),
           `servers: ${servers}`);
    await h.shot(page, 'stored-entries');
    await page.context().close();
  }],
];
