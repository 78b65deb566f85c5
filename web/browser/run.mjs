// Runs one group of TamselWeb's browser tests: node browser/run.mjs BUILD_DIR GROUP
import { runChecks } from './harness.mjs';
import { authChecks } from './auth_checks.mjs';
import { browseChecks } from './browse_checks.mjs';
import { reportAlertChecks } from './report_alert_checks.mjs';
import { adminChecks } from './admin_checks.mjs';

const groups = {
  auth: [authChecks, 300],
  browse: [browseChecks, 300],
  'reports-alerts': [reportAlertChecks, 300],
  admin: [adminChecks, 2500],
};

const [build, group] = process.argv.slice(2);
if (!build || !groups[group]) {
  console.error(`usage: node browser/run.mjs BUILD_DIR ${Object.keys(groups).join('|')}`);
  process.exit(2);
}
const [checks, entries] = groups[group];
const failures = await runChecks(build, group, checks, entries);
process.exit(failures === 0 ? 0 : 1);
