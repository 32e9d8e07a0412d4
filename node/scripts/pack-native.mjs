// npm pack: copies the library's sources (src/, include/) into native/ for
// the addon to be built on install, and the licence beside them; builds
// the WebAssembly modules (wasm/quillet.wasm, wasm/quillet-simd.wasm) when
// either is not there.
import { execFileSync } from 'node:child_process';
import { copyFileSync, cpSync, existsSync, rmSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(dirname(fileURLToPath(import.meta.url)));
const root = dirname(here);
rmSync(join(here, 'native'), { recursive: true, force: true });
for (const part of ['src', 'include']) {
  cpSync(join(root, part), join(here, 'native', part), { recursive: true });
}
copyFileSync(join(root, 'LICENSE'), join(here, 'LICENSE'));
if (!['quillet.wasm', 'quillet-simd.wasm'].every((file) => existsSync(join(here, 'wasm', file)))) {
  execFileSync(process.execPath, [join(here, 'scripts', 'build-wasm.mjs')], { stdio: 'inherit' });
}
