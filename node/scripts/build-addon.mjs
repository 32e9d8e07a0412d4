// Builds the addon, build/quillet.node, from the library's own sources as
// src/sources.json lists them with their flags (the list CMake and the
// Python package read too), with the C++ compiler of the machine ($CXX where
// it is set, else the first of c++, g++ and clang++ that runs) and the
// headers of the Node.js that runs this script. Each CPU-specific source is
// compiled apart with its instruction set's flags.
//
//   node scripts/build-addon.mjs           (npm install runs it)
//
// Where it cannot build the addon it says why in its last line on stderr
// ("quillet: no C++ compiler found (...)", or the source and the compiler's
// first error) and exits 1.
//
// In the repository the sources are ../src and ../include; in the packed
// package, native/ holds a copy of them (scripts/pack-native.mjs).
import { execFile } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync } from 'node:fs';
import { cpus, arch } from 'node:os';
import { basename, dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';

const run = promisify(execFile);
const here = dirname(dirname(fileURLToPath(import.meta.url)));
const native = existsSync(join(here, 'native', 'src')) ? join(here, 'native') : dirname(here);
const src = join(native, 'src');
const manifest = JSON.parse(readFileSync(join(src, 'sources.json'), 'utf8'));
const nodeHeaders = join(dirname(process.execPath), '..', 'include', 'node');
const out = join(here, 'build');

// Why the build stopped, in one line.
class Failure extends Error {}

async function compiler() {
  const names = process.env.CXX ? [process.env.CXX] : ['c++', 'g++', 'clang++'];
  for (const name of names) {
    try {
      await run(name, ['--version']);
      return name;
    } catch { /* next */ }
  }
  throw new Failure(process.env.CXX
    ? `the C++ compiler that $CXX names (${process.env.CXX}) does not run`
    : 'no C++ compiler found (looked for c++, g++ and clang++ on PATH, and $CXX is not set)');
}

// The compiler's first error, where it gave one.
function firstError(error) {
  const lines = String(error.stderr || '').split('\n');
  return (lines.find((line) => /\berror\b/i.test(line)) || lines.find((line) => line.trim()) ||
    error.message.split('\n')[0]).trim();
}

const common = ['-std=c++20', '-O3', '-fPIC', '-fvisibility=hidden', ...manifest.library_flags,
  ...manifest.warnings, '-I', src, '-I', join(native, 'include')];
const units = [...manifest.engine, ...manifest.api].map((path) => ({ path: join(src, path), flags: [] }));
if (arch() === 'x64' || arch() === 'ia32') {
  for (const entry of manifest.x86) {
    units.push({ path: join(src, entry.source),
      flags: [...entry.flags, ...(arch() === 'ia32' ? entry.flags_32_bit || [] : [])] });
  }
} else if (arch() === 'arm64') {
  for (const entry of manifest.aarch64) units.push({ path: join(src, entry.source), flags: entry.flags });
} else {
  common.push('-DQUILLET_PORTABLE_ONLY');
}
units.push({ path: join(here, 'binding', 'addon.cpp'), flags: ['-I', nodeHeaders,
  '-DNODE_GYP_MODULE_NAME=quillet', '-Wno-unused-parameter'] });

async function build() {
  const cxx = await compiler();
  mkdirSync(join(out, 'objects'), { recursive: true });
  // Compiled a few at a time, as many as there are CPUs.
  const objects = [];
  const queue = units.map((unit, i) => ({ ...unit, object: join(out, 'objects', `${i}.o`) }));
  async function worker() {
    for (let unit = queue.shift(); unit; unit = queue.shift()) {
      try {
        await run(cxx, [...common, ...unit.flags, '-c', unit.path, '-o', unit.object]);
      } catch (error) {
        throw new Failure(`${cxx} could not compile ${basename(unit.path)}: ${firstError(error)}`);
      }
      objects.push(unit.object);
    }
  }
  await Promise.all(Array.from({ length: Math.max(1, cpus().length) }, worker));
  try {
    await run(cxx, ['-shared', '-o', join(out, 'quillet.node'), ...objects.sort()]);
  } catch (error) {
    throw new Failure(`${cxx} could not link quillet.node: ${firstError(error)}`);
  }
  console.log(`quillet: built ${join(out, 'quillet.node')}`);
}

try {
  await build();
} catch (error) {
  if (!(error instanceof Failure)) console.error(error);
  console.error(`quillet: ${error instanceof Failure ? error.message : error.message.split('\n')[0]}`);
  process.exit(1);
}
