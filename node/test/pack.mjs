// npm pack, then npm install of the tarball, offline, into fresh projects;
// and `npm install ./node` from a copy of the source tree as a fresh clone
// has it (no build/, no wasm/quillet.wasm nor quillet-simd.wasm). Each once with a compiler and
// once with none on PATH ($CXX unset). Where the install succeeds, a small
// CommonJS program in that directory imports both entries, 'quillet' and
// 'quillet/wasm' (with import()), and runs them (init() and hashBlob of
// the latter too); where the addon could not be built, the install's notice
// must name the cause; from the source tree with no compiler, the install
// must fail, saying why and what to run.
// Prints "node package ...: ..." with what each install gave.
import { execFileSync, spawnSync } from 'node:child_process';
import { cpSync, mkdirSync, mkdtempSync, realpathSync, rmSync, symlinkSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, relative } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = fileURLToPath(new URL('..', import.meta.url));
const root = join(here, '..');
const work = mkdtempSync(join(tmpdir(), 'quillet-pack-'));
const environment = (changes) => {
  const env = { ...process.env, ...changes };
  for (const [name, value] of Object.entries(env)) if (value === undefined) delete env[name];
  return env;
};

// A PATH with node, npm and sh only: no c++, g++, clang++ (nor clang for wasm32).
const bare = join(work, 'bin');
mkdirSync(bare);
symlinkSync(process.execPath, join(bare, 'node'));
symlinkSync(realpathSync(execFileSync('sh', ['-c', 'command -v npm'], { encoding: 'utf8' }).trim()), join(bare, 'npm'));
symlinkSync('/bin/sh', join(bare, 'sh'));
const noCompiler = { PATH: bare, CXX: undefined, QUILLET_WASM_CXX: undefined };

// The source tree as a fresh clone has it: what npm pack or a build made is
// left out. One for each install, as an install builds in it.
function sourceTree(name) {
  const tree = join(work, name);
  const made = new Set(['build', 'native', 'node_modules', 'LICENSE', join('wasm', 'quillet.wasm'),
    join('wasm', 'quillet-simd.wasm')]);
  cpSync(here, join(tree, 'node'), {
    recursive: true, filter: (path) => !made.has(relative(here, path)) && !path.endsWith('.tgz'),
  });
  for (const part of ['src', 'include', 'LICENSE']) cpSync(join(root, part), join(tree, part), { recursive: true });
  return join(tree, 'node');
}

// Both entries' backends and results, or what went wrong.
const check = `Promise.all([import('quillet'), import('quillet/wasm')]).then(async ([{ default: q }, w]) => {
  const d = w.StandardSHA('abc');
  const blob = await (await w.init()).hashBlob(new Blob(['abc']), 'lockdown_sha', { encoding: 'hex' });
  console.log(q.backend, q.createHash('sha1').update('abc').digest('hex'), q.MD5(''), '|', w.backend,
    w.createHash('md5').update('abc').digest('hex'), Buffer.from(d).toString('hex'), d.constructor.name, blob);
});`;
const ran = (backend) => `${backend} a9993e364706816aba3e25717850c26c9cd0d89d D41D8CD98F00B204E9800998ECF8427E | ` +
  'wasm 900150983cd24fb0d6963f7d28e17f72 a9993e364706816aba3e25717850c26c9cd0d89d Uint8Array ' +
  '50c8e95373d4856f7567b73c2df9da981062e20a';
const fallback = /quillet: the native addon could not be built \(no C\+\+ compiler found \(looked for c\+\+, g\+\+ and clang\+\+/;
const refusal = /no C\+\+ compiler found[^\n]*wasm\/quillet\.wasm[\s\S]*npm rebuild quillet/;

let failed = false;
const lines = [];
try {
  const tarball = join(work, execFileSync('npm', ['pack', '--silent', '--pack-destination', work],
    { cwd: here, encoding: 'utf8', stdio: 'pipe' }).trim().split('\n').pop());
  const cases = [
    ['with a compiler', tarball, {}, 'addon'],
    ['with no compiler on PATH', tarball, noCompiler, 'wasm'],
    ['from the source tree, with a compiler', sourceTree('clone'), {}, 'addon'],
    ['from the source tree, with no compiler on PATH', sourceTree('bare-clone'), noCompiler, 'refused'],
  ];
  for (const [index, [label, source, changes, want]] of cases.entries()) {
    const project = join(work, `project-${index}`);
    mkdirSync(project);
    writeFileSync(join(project, 'package.json'), '{"name": "try-quillet", "private": true}');
    // A refusal must be seen without --foreground-scripts, as most installs run.
    const install = spawnSync('npm', ['install', '--offline', '--no-audit', '--no-fund',
      ...(want === 'refused' ? [] : ['--foreground-scripts']), source],
    { cwd: project, env: environment(changes), encoding: 'utf8' });
    const log = install.stdout + install.stderr;
    let ok;
    let shown;
    if (want === 'refused') {
      ok = install.status !== 0 && refusal.test(log) && !/node:internal/.test(log);
      shown = (log.match(/quillet: the native addon[^\n]*/) || ['no notice'])[0].slice(0, 100);
    } else {
      if (install.status !== 0) throw new Error(`npm install ${label}: ${install.stderr}`);
      const out = spawnSync(process.execPath, ['-e', check], { cwd: project, env: environment(changes), encoding: 'utf8' });
      shown = (out.stdout.trim() || out.stderr.trim().split('\n').find((line) => /^\w*Error\b/.test(line)) || '').slice(0, 300);
      ok = out.status === 0 && shown === ran(want) && !/node:internal/.test(log) &&
        (want === 'addon' || fallback.test(log));
    }
    lines.push(`node package ${label}: ${ok ? (want === 'refused' ? 'refused, saying why' : 'installed offline and ran') : 'FAILED'} (${shown})`);
    failed ||= !ok;
  }
} catch (error) {
  lines.push(`node package: FAILED (${String(error.stderr || error.message).trim().split('\n')[0]})`);
  failed = true;
} finally {
  rmSync(work, { recursive: true, force: true });
}
console.log(lines.join('\n'));
process.exit(failed ? 1 : 0);
