// The page in headless Chromium (Debian's chromium): served from the
// repository by a server of this script's own, it hashes a generated file
// of 100 MiB through the same path as a dropped one (?selftest=BYTES) and
// posts its five digests, which must equal the Node.js package's for the
// same bytes. Prints "browser: N passed, M failed".
//
//   node examples/web/test.mjs [BYTES]
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';

import quillet from '../../node/index.mjs';

const size = Number(process.argv[2] || 100 * 1024 * 1024);
const root = fileURLToPath(new URL('../..', import.meta.url));
const types = { '.html': 'text/html', '.mjs': 'text/javascript', '.js': 'text/javascript',
  '.wasm': 'application/wasm' };

function expected() {
  const bytes = new Uint8Array(size);
  for (let i = 0; i < size; ++i) bytes[i] = (i * 131 + (i >> 8)) & 255;
  return {
    StandardSHA: quillet.StandardSHA(bytes).toString('hex'),
    BrokenSHA: quillet.BrokenSHA(bytes).toString('hex'),
    LockdownSHA: quillet.LockdownSHA(bytes).toString('hex'),
    MD5: quillet.MD5(bytes),
    DoubleHashPassword: quillet.DoubleHashPassword(bytes, 0x12345678, 0xDEADBEEF).toString('hex'),
  };
}

const report = await new Promise((resolve, reject) => {
  const profile = mkdtempSync(join(tmpdir(), 'quillet-chromium-'));
  let browser;
  let done = false;
  // The browser runs in a process group of its own: its helper processes,
  // which go on writing into the profile for a moment after the main one is
  // killed, are killed with it, and the profile is removed once it has exited.
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
    if (request.method === 'POST' && request.url === '/result') {
      let body = '';
      request.on('data', (piece) => { body += piece; });
      request.on('end', () => { response.end(); finish(JSON.parse(body)); });
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
    const url = `http://127.0.0.1:${server.address().port}/examples/web/index.html?selftest=${size}`;
    browser = spawn(process.env.CHROMIUM || 'chromium', ['--headless=new', '--no-sandbox', '--disable-gpu',
      '--disable-dev-shm-usage', `--user-data-dir=${profile}`, url], { stdio: 'ignore', detached: true });
    browser.on('error', (error) => finish(null, error));
  });
  setTimeout(() => finish(null, new Error('no result from the page in 180 s')), 180_000).unref();
});

let passed = 0;
let failed = 0;
const check = (ok, what) => {
  if (ok) ++passed; else { ++failed; console.log(`FAIL ${what}`); }
};
if (report.error) {
  check(false, `the page: ${report.error}`);
} else {
  const want = expected();
  for (const [name, value] of Object.entries(want)) {
    check(report.results[name] === value, `${name}: ${report.results[name]}, not ${value}`);
  }
  check(report.updates > 1, `progress shown ${report.updates} times`);
  check(report.abc === '900150983CD24FB0D6963F7D28E17F72', 'MD5("abc") in the page');
  console.log(`browser: ${size} bytes hashed five ways in ${Math.round(report.ms)} ms ` +
    `(${(size / 1048576 / (report.ms / 1000)).toFixed(0)} MiB/s), ${report.updates} progress steps`);
}
console.log(`browser: ${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
