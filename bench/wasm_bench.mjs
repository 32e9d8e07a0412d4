// quillet/wasm beside hash-wasm (the WebAssembly package of general-purpose
// hashes), in Node.js and in headless Chromium, one run: sha1 and md5 of
// 32 B, 1 KiB and 1 MiB, and 4,096 messages of 1 KiB (digestMany, against a
// loop of one-shot calls). Node.js also times the addon and node:crypto;
// both runtimes time Web Crypto's SHA-1 (it has no MD5) and the scalar
// module (what an engine without SIMD loads). Prints each contender's MB/s
// and the ratios (the other's time over Quillet's: above 1, Quillet is
// faster), with the CPU and the runtimes' versions.
//
//   node bench/wasm_bench.mjs [--node-only | --chromium-only] [--rounds N] [--json FILE]
//
// hash-wasm is bench/js/package.json's devDependency, installed here with
// npm where it is not yet (the tests never need it). Needs the addon and
// both modules built (node/scripts/build-addon.mjs, build-wasm.mjs), and
// Debian's chromium for the browser's half ($CHROMIUM names another).
import { execFileSync, spawn } from 'node:child_process';
import crypto from 'node:crypto';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { cpus, tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('..', import.meta.url));
const args = process.argv.slice(2);
const option = (name) => (args.includes(name) ? args[args.indexOf(name) + 1] : undefined);
const rounds = Number(option('--rounds') || 9);

if (!existsSync(join(root, 'bench', 'js', 'node_modules', 'hash-wasm'))) {
  execFileSync('npm', ['install', '--no-audit', '--no-fund', '--prefix', join(root, 'bench', 'js')],
    { stdio: 'inherit' });
}

const { run, table } = await import('./js/cases.mjs');
const hashWasm = await import('./js/node_modules/hash-wasm/dist/index.esm.js');
const { default: addon } = await import('../node/index.mjs');
const { default: wasm } = await import('../node/wasm/node.mjs');
const { makeQuillet } = await import('../node/lib/core.mjs');
const { browserPlatform } = await import('../node/lib/browser-platform.mjs');
const { loadWasm, wasmFileName } = await import('../node/lib/wasm-backend.mjs');
if (addon.backend !== 'addon') throw new Error('the addon is not built (node node/scripts/build-addon.mjs)');

function cpu() {
  const info = readFileSync('/proc/cpuinfo', 'utf8');
  const field = (name) => (info.match(new RegExp(`^${name}\\s*:\\s*(.*)$`, 'm')) || [])[1];
  return `${cpus()[0].model.trim()} (family ${field('cpu family')}, model ${field('model')}), ${cpus().length} cores`;
}

const quilletContender = (label, q) => ({
  label, digest: (name, bytes) => q.hash(name, bytes), many: (name, list) => q.digestMany(name, list),
});

async function hashWasmContender() {
  const hashers = { sha1: await hashWasm.createSHA1(), md5: await hashWasm.createMD5() };
  return {
    label: 'hash-wasm',
    digest: (name, bytes) => hashers[name].init().update(bytes).digest(),
    many: (name, list) => list.map((m) => hashers[name].init().update(m).digest('binary')),
  };
}

const webCrypto = {
  label: 'Web Crypto', names: ['sha1'], async: true,
  digest: async (name, bytes) => new Uint8Array(await crypto.subtle.digest('SHA-1', bytes)),
};

async function inNode() {
  const scalar = makeQuillet(await loadWasm(readFileSync(join(root, 'node', 'wasm', 'quillet.wasm'))),
    browserPlatform);
  const contenders = [
    quilletContender('quillet/wasm', wasm),
    await hashWasmContender(),
    quilletContender('wasm scalar', scalar),
    quilletContender('addon', addon),
    { label: 'node:crypto', digest: (name, bytes) => crypto.createHash(name).update(bytes).digest('hex') },
    webCrypto,
  ];
  return run(contenders, { rounds, log: (row) => process.stderr.write(`node ${row.name} ${row.case}\n`) });
}

// The page (bench/js/page.html) in headless Chromium, served from the
// repository by a server of this script's own on the loopback address; it
// posts its rows, or its error, to /result.
function inChromium() {
  const types = { '.html': 'text/html', '.mjs': 'text/javascript', '.js': 'text/javascript',
    '.wasm': 'application/wasm' };
  return new Promise((resolve, reject) => {
    const profile = mkdtempSync(join(tmpdir(), 'quillet-bench-chromium-'));
    let browser;
    let done = false;
    const finish = (value, error) => {
      if (done) return;
      done = true;
      server.close();
      const settle = () => {
        rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 100 });
        if (error) reject(error); else resolve(value);
      };
      if (!browser?.pid || browser.exitCode !== null || browser.signalCode !== null) return settle();
      browser.once('exit', settle);
      try { process.kill(-browser.pid, 'SIGKILL'); } catch { browser.kill('SIGKILL'); }
    };
    const server = createServer((request, response) => {
      if (request.method === 'POST') {
        let body = '';
        request.on('data', (piece) => { body += piece; });
        request.on('end', () => {
          response.end();
          const message = JSON.parse(body);
          if (request.url === '/progress') process.stderr.write(`chromium ${message.name} ${message.case}\n`);
          else if (message.error) finish(null, new Error(`the page: ${message.error}`));
          else finish(message);
        });
        return;
      }
      const path = normalize(join(root, decodeURIComponent(new URL(request.url, 'http://x').pathname)));
      try {
        if (!path.startsWith(root)) throw new Error('outside');
        response.setHeader('Content-Type', types[extname(path)] || 'application/octet-stream');
        response.end(readFileSync(path));
      } catch {
        response.statusCode = 404;
        response.end();
      }
    });
    server.listen(0, '127.0.0.1', () => {
      const url = `http://127.0.0.1:${server.address().port}/bench/js/page.html?rounds=${rounds}`;
      browser = spawn(process.env.CHROMIUM || 'chromium', ['--headless=new', '--no-sandbox', '--disable-gpu',
        '--disable-dev-shm-usage', `--user-data-dir=${profile}`, url], { stdio: 'ignore', detached: true });
      browser.on('error', (error) => finish(null, error));
    });
    setTimeout(() => finish(null, new Error('no result from the page in 600 s')), 600_000).unref();
  });
}

const report = { cpu: cpu(), node: process.version, module: wasmFileName() };
if (!args.includes('--chromium-only')) report.nodeRows = await inNode();
if (!args.includes('--node-only')) {
  const page = await inChromium();
  report.chromium = page.userAgent.match(/Chrome\/[\d.]+/)?.[0] || page.userAgent;
  report.chromiumModule = page.module;
  report.chromiumRows = page.rows;
}

console.log(`CPU: ${report.cpu}`);
if (report.nodeRows) {
  console.log(`\nNode.js ${report.node} (quillet/wasm loads ${report.module})`);
  console.log(table(report.nodeRows, [['quillet/wasm', 'hash-wasm'], ['wasm scalar', 'hash-wasm'],
    ['addon', 'node:crypto'], ['addon', 'hash-wasm']]));
}
if (report.chromiumRows) {
  console.log(`\nHeadless ${report.chromium} (quillet/wasm loads ${report.chromiumModule})`);
  console.log(table(report.chromiumRows, [['quillet/wasm', 'hash-wasm'], ['wasm scalar', 'hash-wasm'],
    ['quillet/wasm', 'Web Crypto']]));
}
if (option('--json')) writeFileSync(option('--json'), JSON.stringify(report, null, 2));
