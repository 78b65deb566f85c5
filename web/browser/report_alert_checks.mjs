// Saved reports and alerts, made from the log browser's filter.
import { expect } from './harness.mjs';

const keys = (page) => page.locator('#entries tbody tr').evaluateAll(
  (rows) => rows.map((row) => row.dataset.leid));

async function filtered(h, page) {
  await page.goto(`${h.base}/logs?server=2&log=3&type=8&type=16&size=10`);
  return keys(page);
}

export const reportAlertChecks = [
  ['a saved report reopens the same view and can be deleted', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    const rows = await filtered(h, page);
    await page.fill('input[name=description][placeholder="Report name"]', 'SRV02 audits');
    await Promise.all([page.waitForNavigation(),
                       page.click('button:text("Save as report")')]);
    expect(new URL(page.url()).pathname === '/reports', `after saving at ${page.url()}`);
    await h.shot(page, 'reports');
    await Promise.all([page.waitForNavigation(), page.click('#report-list a:text("SRV02 audits")')]);
    const url = new URL(page.url());
    expect(url.searchParams.get('server') === '2' && url.searchParams.getAll('type').length === 2,
           `reopened as ${url.search}`);
    expect(JSON.stringify(await keys(page)) === JSON.stringify(rows), 'other rows');
    expect(await page.locator('.tree a.active:text-is("Security")').count() === 1,
           'the tree does not show the log');
    await page.goto(`${h.base}/reports`);
    await Promise.all([page.waitForNavigation(),
                       page.click('#report-list button:text("Delete")')]);
    expect(await page.locator('#report-list').count() === 0, 'the report is still listed');
    const other = await h.page();
    await h.signIn(other, 'viewer', 'viewer-pass-1');
    const response = await other.goto(`${h.base}/reports/1`);
    expect(response.status() === 404, 'another user opened the report');
    await other.context().close();
    await page.context().close();
  }],
  ['an alert with a recipient and a schedule', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await filtered(h, page);
    await page.fill('input[name=description][placeholder="Alert name"]', 'Audit failures');
    await Promise.all([page.waitForNavigation(), page.click('button:text("Create alert")')]);
    expect(/\/alerts\/\d+$/.test(page.url()), `after creating at ${page.url()}`);
    const form = page.locator('#add-recipient');
    await form.locator('input[name=email]').fill('ops@example.com');
    for (const day of ['2', '3', '4']) await form.locator(`input[name=day][value="${day}"]`).uncheck();
    await form.locator('input[name=wholeday]').uncheck();
    await form.locator('input[name=start]').fill('08:00');
    await form.locator('input[name=end]').fill('17:30');
    await Promise.all([page.waitForNavigation(), form.locator('button').click()]);
    await page.locator('#add-recipient input[name=email]').fill('night@example.com');
    await Promise.all([page.waitForNavigation(), page.locator('#add-recipient button').click()]);
    const rows = await page.locator('#recipients tbody tr').allInnerTexts();
    expect(rows.length === 2, `${rows.length} recipients`);
    expect(rows[0].includes('ops@example.com') && rows[0].includes('Monday, Friday') &&
           rows[0].includes('08:00 - 17:30'), `first recipient: ${rows[0]}`);
    expect(rows[1].includes('24 hours'), `second recipient: ${rows[1]}`);
    // The day mask numbers days from Sunday = 1: Monday and Friday are bits 2 and 6.
    const mask = h.query("SELECT ScheduleDaysMeta FROM AlertRecipient WHERE Email = 'ops@example.com'");
    expect(mask === '68', `day mask ${mask}`);
    await Promise.all([page.waitForNavigation(), page.click('button:text("Activate")')]);
    expect((await page.locator('.status-on').count()) === 1, 'not active');
    await h.shot(page, 'alert');
    const alertPage = page.url();
    await Promise.all([page.waitForNavigation(), page.click('a:text("Edit filter")')]);
    await page.selectOption('select[name=type]', { label: 'Error' });
    await Promise.all([page.waitForNavigation(), page.click('#filter button[type=submit]')]);
    expect(await page.locator('form.banner').count() === 1, 'the alert banner is gone');
    await Promise.all([page.waitForNavigation(), page.click('button:text("Save filter to alert")')]);
    expect(page.url() === alertPage, `after saving the filter at ${page.url()}`);
    const show = await page.locator('a:text("Show matching entries")').getAttribute('href');
    expect(show.includes('type=1') && !show.includes('type=8'), `filter now ${show}`);
    await Promise.all([page.waitForNavigation(),
                       page.locator('#recipients button:text("Remove")').first().click()]);
    expect(await page.locator('#recipients tbody tr').count() === 1, 'recipient not removed');
    await page.context().close();
  }],
  ['the alert list shows status and owner', async (h) => {
    const page = await h.page();
    await h.signIn(page);
    await page.goto(`${h.base}/alerts`);
    const row = await page.locator('#alert-list tbody tr').first().innerText();
    expect(row.includes('Audit failures') && row.includes('admin') && row.includes('Active'),
           `row: ${row}`);
    await h.shot(page, 'alerts');
    await Promise.all([page.waitForNavigation(), page.click('#alert-list button:text("Deactivate")')]);
    expect((await page.locator('#alert-list tbody tr').first().innerText()).includes('Inactive'),
           'not deactivated');
    await page.context().close();
  }],
];
