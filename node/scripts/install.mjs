// npm install: builds the addon, and the WebAssembly build where it is not
// there (in the source tree: npm pack builds it for the packed package).
// Where the addon cannot be built but the WebAssembly build is there, says
// so in one line with the cause (npm shows it with --foreground-scripts) and
// succeeds: the WebAssembly build is used. Where neither can be had, fails,
// saying why and what to run.
import { spawnSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

const here = (path) => fileURLToPath(new URL(path, import.meta.url));

// Runs one of the build scripts: null where it built, else why not (its last
// line on stderr).
function build(script) {
  const result = spawnSync(process.execPath, [here(script)], { stdio: ['ignore', 'ignore', 'pipe'], encoding: 'utf8' });
  if (result.status === 0) return null;
  const lines = String(result.stderr || result.error?.message || '').split('\n').filter((line) => line.trim());
  const reason = (lines.pop() || `${script} ended with ${result.signal || `status ${result.status}`}`).trim();
  return reason.replace(/^quillet: /, '');
}

const wasm = here('../wasm/quillet.wasm');
const { version } = JSON.parse(readFileSync(here('../package.json'), 'utf8'));
const addonFailure = build('./build-addon.mjs');
const wasmFailure = existsSync(wasm) ? null : build('./build-wasm.mjs');
if (addonFailure && !wasmFailure) {
  console.warn(`quillet: the native addon could not be built (${addonFailure}); ` +
    'the WebAssembly build will be used.');
} else if (addonFailure) {
  console.error(`quillet: the native addon could not be built (${addonFailure}), and the WebAssembly ` +
    `build is not there (wasm/quillet.wasm, which npm pack builds: ${wasmFailure}).\n` +
    'quillet: install a C++ compiler (g++ or clang++) and run "npm rebuild quillet", or install ' +
    'a packed package: "npm pack ./node" on a machine with clang and wasi-libc, then ' +
    `"npm install ./quillet-${version}.tgz" here.`);
  process.exit(1);
} else if (wasmFailure) {
  console.warn(`quillet: the WebAssembly build (quillet/wasm) could not be built (${wasmFailure}); ` +
    "'quillet' runs the native addon.");
}
