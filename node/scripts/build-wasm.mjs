// Builds wasm/quillet.wasm: the library's portable engines and the C++ API
// (src/sources.json's "engine" and "api"), with wasm/quillet_wasm.cpp's
// functions, for wasm32 with clang and WASI's C library (malloc and memcpy
// only: the module imports nothing); and wasm/quillet-simd.wasm, the same
// built with SIMD128 and bulk memory, with the many-message kernels of
// "wasm_simd128" (lib/wasm-backend.mjs loads it where the engine validates
// SIMD).
//
//   node scripts/build-wasm.mjs
//
// $QUILLET_WASM_CXX names the compiler (default clang++-14, then clang++);
// $WASI_SYSROOT the C library's root (default /usr, where Debian's wasi-libc
// and libc++-14-dev-wasm32 put theirs). npm install runs it in the source
// tree, where npm pack has not built the module. Where it cannot build it
// says why in its last line on stderr ("quillet: ...") and exits 1.
import { execFile } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync } from 'node:fs';
import { cpus } from 'node:os';
import { basename, dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

const run = promisify(execFile);
const here = dirname(dirname(fileURLToPath(import.meta.url)));
// The library's sources: ../src and ../include, or native/ in the packed package.
const root = existsSync(join(here, 'native', 'src')) ? join(here, 'native') : dirname(here);
const src = join(root, 'src');
const manifest = JSON.parse(readFileSync(join(src, 'sources.json'), 'utf8'));
const out = join(here, 'build', 'wasm');

// Why the build stopped, in one line.
class Failure extends Error {}

async function compiler() {
  for (const name of [process.env.QUILLET_WASM_CXX, 'clang++-14', 'clang++']) {
    if (!name) continue;
    try {
      await run(name, ['--version']);
      return name;
    } catch { /* next */ }
  }
  throw new Failure('no clang found for wasm32 (looked for $QUILLET_WASM_CXX, clang++-14 and clang++; ' +
    'Debian: clang-14 lld-14 wasi-libc libc++-14-dev-wasm32)');
}

// The two modules: the scalar one for every engine, and the SIMD one.
const MODULES = [
  { file: 'quillet.wasm', dir: 'scalar', flags: [], sources: [] },
  { file: 'quillet-simd.wasm', dir: 'simd', flags: ['-msimd128', '-mbulk-memory'], sources: manifest.wasm_simd128 },
];

async function build(cxx, module) {
  const flags = ['--target=wasm32-wasi', `--sysroot=${process.env.WASI_SYSROOT || '/usr'}`,
    '-std=c++20', '-O3', '-fvisibility=hidden', ...module.flags, ...manifest.library_flags,
    ...manifest.warnings, '-Werror', '-DQUILLET_PORTABLE_ONLY', '-I', src, '-I', join(root, 'include')];
  const sources = [...manifest.engine, ...manifest.api, ...module.sources].map((path) => join(src, path));
  sources.push(join(here, 'wasm', 'quillet_wasm.cpp'));

  const objectDir = join(out, module.dir);
  mkdirSync(objectDir, { recursive: true });
  const queue = sources.map((path, i) => ({ path, object: join(objectDir, `${i}.o`) }));
  const objects = queue.map((unit) => unit.object);
  async function worker() {
    for (let unit = queue.shift(); unit; unit = queue.shift()) {
      try {
        await run(cxx, [...flags, '-c', unit.path, '-o', unit.object]);
      } catch (error) {
        throw new Failure(`${cxx} could not compile ${basename(unit.path)} for wasm32: ${firstError(error)}`);
      }
    }
  }
  await Promise.all(Array.from({ length: Math.max(1, cpus().length) }, worker));
  try {
    await run(cxx, ['--target=wasm32-wasi', `--sysroot=${process.env.WASI_SYSROOT || '/usr'}`,
      ...module.flags, '-mexec-model=reactor', '-nostdlib++', '-Wl,--strip-all',
      '-o', join(here, 'wasm', module.file), ...objects]);
  } catch (error) {
    throw new Failure(`${cxx} could not link ${module.file}: ${firstError(error)}`);
  }
  console.log(`quillet: built ${join(here, 'wasm', module.file)}`);
}

// The compiler's first error, where it gave one.
function firstError(error) {
  const lines = String(error.stderr || '').split('\n');
  return (lines.find((line) => /\berror\b/i.test(line)) || lines.find((line) => line.trim()) ||
    error.message.split('\n')[0]).trim();
}

try {
  const cxx = await compiler();
  for (const module of MODULES) await build(cxx, module);
} catch (error) {
  if (!(error instanceof Failure)) console.error(error);
  console.error(`quillet: ${error.message.split('\n')[0]}`);
  process.exit(1);
}
