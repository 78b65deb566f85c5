// Runs one group of TamselWeb's browser tests: node browser/run.mjs BUILD_DIR GROUP [ENGINE]
// ENGINE is "embedded" (the default) or "server"; a run on an engine that is not available
// is skipped.
import { runChecks, EngineUnavailable, SKIPPED } from './harness.mjs';
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
const engines = ['embedded', 'server'];

const [build, group, engine = 'embedded'] = process.argv.slice(2);
if (!build || !groups[group] || !engines.includes(engine)) {
  console.error(`usage: node browser/run.mjs BUILD_DIR ${Object.keys(groups).join('|')} ` +
                `[${engines.join('|')}]`);
  process.exit(2);
}
const [checks, entries] = groups[group];
try {
  const failures = await runChecks(build, group, checks, entries, engine);
  process.exit(failures === 0 ? 0 : 1);
} catch (error) {
  if (!(error instanceof EngineUnavailable)) throw error;
  console.log(`skipped ${group} on the ${engine} engine: ${error.message}`);
  process.exit(SKIPPED);
}
