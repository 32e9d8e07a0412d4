// npm install: builds the addon; where it cannot be built, says so in one
// line and leaves the WebAssembly build to be used.
import { execFileSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';

try {
  execFileSync(process.execPath, [fileURLToPath(new URL('./build-addon.mjs', import.meta.url))],
    { stdio: ['ignore', 'ignore', 'pipe'] });
} catch (error) {
  const reason = String(error.stderr || error.message).trim().split('\n').find((line) => line.trim()) || '';
  console.warn(`quillet: the native addon could not be built (${reason.slice(0, 120)}); ` +
    'the WebAssembly build will be used.');
}
