// Test harness of the browser tests: a throwaway network from tamsel_web_fixture, TamselWeb
// started on a free loopback port against it, headless chromium through playwright-core, and
// screenshots saved under the build folder. On the server engine the database lives on the
// build folder's PostgreSQL cluster (ctest's fixture "pg" starts it) and the screenshots get
// the suffix "-server".
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

// Exit code of a run that could not start because the engine is not available (ctest's
// SKIP_RETURN_CODE).
export const SKIPPED = 77;

export class EngineUnavailable extends Error {}

// Where the server engine's database lives: the build folder's cluster and a database of
// this run.
function serverDatabase(build, group) {
  let target;
  try {
    target = execFileSync(path.join(build, 'testing', 'tamsel_pg_cluster'), ['target'],
                          { stdio: ['ignore', 'pipe', 'pipe'] }).toString().trim();
  } catch (error) {
    throw new EngineUnavailable(`no PostgreSQL cluster: ${error.stderr || error.message}`);
  }
  return { target, name: `tamselweb_${group.replace(/\W/g, '_')}_${process.pid}` };
}

export class Harness {
  constructor(build, group, engine = 'embedded') {
    this.build = build;
    this.group = group;
    this.engine = engine;
    this.database = engine === 'server' ? serverDatabase(build, group) : null;
    this.root = mkdtempSync(path.join(tmpdir(), `tamsel-web-${group}-`));
    this.shots = path.join(build, 'web', 'screenshots');
    mkdirSync(this.shots, { recursive: true });
  }

  async start(entries = 300) {
    const network = path.join(this.root, 'network');
    const component = path.join(this.root, 'component');
    execFileSync(path.join(this.build, 'web', 'tamsel_web_fixture'),
      [network, component, path.join(this.build, 'reports', 'libTamselReportsCom.so'),
       String(entries),
       ...(this.database ? ['--server', this.database.target, this.database.name] : [])],
      { stdio: 'pipe' });
    this.server = spawn(path.join(this.build, 'web', 'TamselWeb'),
      ['--listen', '127.0.0.1:0', '--library', path.join(component, 'libTamselReportsCom.so')],
      { env: { ...process.env, TAMSEL_NETWORK: network, TAMSEL_MACHINE: 'WEBHOST' },
        stdio: ['ignore', 'pipe', 'inherit'] });
    this.base = await new Promise((resolve, reject) => {
      let text = '';
      this.server.stdout.on('data', (chunk) => {
        text += chunk;
        const match = text.match(/listening on (http:\/\/[^/\s]+)\//);
        if (match) resolve(match[1]);
      });
      this.server.on('exit', (code) => reject(new Error(`TamselWeb exited with ${code}`)));
    });
    this.browser = await chromium.launch({
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args: ['--no-sandbox', '--disable-dev-shm-usage'],
    });
  }

  async page() {
    const context = await this.browser.newContext({ viewport: { width: 1400, height: 900 },
                                                    acceptDownloads: true });
    const page = await context.newPage();
    page.on('dialog', (dialog) => dialog.accept());
    page.setDefaultTimeout(20000);
    return page;
  }

  async signIn(page, user = 'admin', password = 'admin-pass-1') {
    await page.goto(`${this.base}/login`);
    await page.fill('input[name=username]', user);
    await page.fill('input[name=password]', password);
    await Promise.all([page.waitForNavigation(), page.click('button[type=submit]')]);
  }

  async shot(page, name) {
    const suffix = this.engine === 'embedded' ? '' : `-${this.engine}`;
    await page.screenshot({ path: path.join(this.shots, `${name}${suffix}.png`), fullPage: true });
  }

  // The rows of one query against the database, read beside the web application: columns
  // separated by "|", rows by line breaks.
  query(sql) {
    const [program, args] = this.database
      ? ['psql', ['-XAtq', '-v', 'ON_ERROR_STOP=1', '-d',
                  `${this.database.target} dbname=${this.database.name}`, '-c', sql]]
      : ['sqlite3', [path.join(this.root, 'network', 'WEBHOST', 'state', 'data', 'TamselDB.db'),
                     sql]];
    return execFileSync(program, args).toString().trim();
  }

  async stop() {
    await this.browser?.close();
    if (this.server && this.server.exitCode === null) {
      const exited = new Promise((resolve) => this.server.on('exit', resolve));
      this.server.kill('SIGTERM');
      await exited;
    }
    rmSync(this.root, { recursive: true, force: true });
  }
}

// Runs the named checks in order; a failed check is reported and the others still run.
export async function runChecks(build, group, checks, entries, engine = 'embedded') {
  const harness = new Harness(build, group, engine);
  let failures = 0;
  try {
    await harness.start(entries);
    for (const [name, check] of checks) {
      try {
        await check(harness);
        console.log(`ok   ${group}: ${name}`);
      } catch (error) {
        failures += 1;
        console.log(`FAIL ${group}: ${name}\n     ${error.stack || error}`);
      }
    }
  } finally {
    await harness.stop();
  }
  return failures;
}

export function expect(condition, message) {
  if (!condition) throw new Error(message);
}
