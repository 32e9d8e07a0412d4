// Runs the tests through both backends, the addon and the WebAssembly build
// (its SIMD module where Node.js runs it, and again with the scalar one), and
// prints one line for each: "node addon: N passed, M failed".
import { spawnSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';

const suite = fileURLToPath(new URL('./quillet.test.mjs', import.meta.url));
let failed = false;
const lines = [];
for (const [label, backend, simd] of [['addon', 'addon'], ['wasm', 'wasm'], ['wasm-scalar', 'wasm', '0']]) {
  const env = { ...process.env, QUILLET_BACKEND: backend };
  if (simd) env.QUILLET_WASM_SIMD = simd;
  const result = spawnSync(process.execPath, ['--test', '--test-reporter=spec', suite], { env, encoding: 'utf8' });
  process.stdout.write(result.stdout);
  process.stderr.write(result.stderr);
  const count = (name) => Number((result.stdout.match(new RegExp(`^\\S* ${name} (\\d+)`, 'm')) || [0, 0])[1]);
  const passed = count('pass');
  const failures = count('fail') + (result.status === 0 ? 0 : count('fail') === 0 ? 1 : 0);
  lines.push(`node ${label}: ${passed} passed, ${failures} failed`);
  failed ||= result.status !== 0;
}
console.log(lines.join('\n'));
process.exit(failed ? 1 : 0);
