// Builds wasm/quillet.wasm: the library's portable engines and the C++ API
// (src/sources.json's "engine" and "api"), with wasm/quillet_wasm.cpp's
// functions, for wasm32 with clang and WASI's C library (malloc and memcpy
// only: the module imports nothing).
//
//   node scripts/build-wasm.mjs
//
// $QUILLET_WASM_CXX names the compiler (default clang++-14, then clang++);
// $WASI_SYSROOT the C library's root (default /usr, where Debian's wasi-libc
// and libc++-14-dev-wasm32 put theirs).
import { execFile } from 'node:child_process';
import { mkdirSync, readFileSync } from 'node:fs';
import { cpus } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

const run = promisify(execFile);
const here = dirname(dirname(fileURLToPath(import.meta.url)));
const root = dirname(here);
const src = join(root, 'src');
const manifest = JSON.parse(readFileSync(join(src, 'sources.json'), 'utf8'));
const out = join(here, 'build', 'wasm');

async function compiler() {
  for (const name of [process.env.QUILLET_WASM_CXX, 'clang++-14', 'clang++']) {
    if (!name) continue;
    try {
      await run(name, ['--version']);
      return name;
    } catch { /* next */ }
  }
  throw new Error('no clang for wasm32 (Debian: clang-14 lld-14 wasi-libc libc++-14-dev-wasm32)');
}

const cxx = await compiler();
const flags = ['--target=wasm32-wasi', `--sysroot=${process.env.WASI_SYSROOT || '/usr'}`,
  '-std=c++20', '-O3', '-fvisibility=hidden', ...manifest.library_flags, ...manifest.warnings,
  '-Werror', '-DQUILLET_PORTABLE_ONLY', '-I', src, '-I', join(root, 'include')];
const sources = [...manifest.engine, ...manifest.api].map((path) => join(src, path));
sources.push(join(here, 'wasm', 'quillet_wasm.cpp'));

mkdirSync(out, { recursive: true });
const queue = sources.map((path, i) => ({ path, object: join(out, `${i}.o`) }));
const objects = queue.map((unit) => unit.object);
async function worker() {
  for (let unit = queue.shift(); unit; unit = queue.shift()) {
    await run(cxx, [...flags, '-c', unit.path, '-o', unit.object]);
  }
}
await Promise.all(Array.from({ length: Math.max(1, cpus().length) }, worker));
await run(cxx, ['--target=wasm32-wasi', `--sysroot=${process.env.WASI_SYSROOT || '/usr'}`,
  '-mexec-model=reactor', '-nostdlib++', '-Wl,--strip-all', '-o', join(here, 'wasm', 'quillet.wasm'),
  ...objects]);
console.log(`quillet: built ${join(here, 'wasm', 'quillet.wasm')}`);
