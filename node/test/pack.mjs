// npm pack, then npm install of the tarball, offline, into fresh projects:
// once with a compiler (the addon is built on install and runs), once with
// none ($CXX=false: the one-line notice, then the WebAssembly build runs).
// Prints "node package: ..." with what each install gave.
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = fileURLToPath(new URL('..', import.meta.url));
const work = mkdtempSync(join(tmpdir(), 'quillet-pack-'));
const npm = (args, cwd, env = {}) =>
  execFileSync('npm', args, { cwd, env: { ...process.env, ...env }, encoding: 'utf8', stdio: 'pipe' });
let failed = false;
const lines = [];
try {
  const tarball = join(work, npm(['pack', '--silent', '--pack-destination', work], here).trim().split('\n').pop());
  for (const [label, env, want] of [['with a compiler', {}, 'addon'], ['without one', { CXX: 'false' }, 'wasm']]) {
    const project = join(work, want);
    execFileSync('mkdir', ['-p', project]);
    writeFileSync(join(project, 'package.json'), '{"name": "try-quillet", "private": true}');
    const install = spawnSync('npm', ['install', '--offline', '--no-audit', '--no-fund',
      '--foreground-scripts', tarball], { cwd: project, env: { ...process.env, ...env }, encoding: 'utf8' });
    if (install.status !== 0) throw new Error(`npm install: ${install.stderr}`);
    const log = install.stdout + install.stderr;
    const check = "import q from 'quillet'; console.log(q.backend, q.createHash('sha1').update('abc').digest('hex'), q.MD5(''))";
    const out = execFileSync(process.execPath, ['--input-type=module', '-e', check], { cwd: project, encoding: 'utf8' }).trim();
    const ok = out === `${want} a9993e364706816aba3e25717850c26c9cd0d89d D41D8CD98F00B204E9800998ECF8427E` &&
      (want === 'addon' || /the WebAssembly build will be used/.test(log));
    lines.push(`node package ${label}: ${ok ? 'installed offline and ran' : 'FAILED'} (${out})`);
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
