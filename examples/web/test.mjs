// The page in headless Chromium (Debian's chromium), driven over the
// DevTools protocol (--remote-debugging-pipe) and served by serve.mjs's
// server. Through the same path as dropped files (?selftest=BYTES), the page
// hashes generated files at once and posts what it shows, which must equal
// the Node.js package's digests for the same bytes:
//   - 16 MiB, "abc" and an empty file under the Content-Security-Policy
//     script-src 'self' 'wasm-unsafe-eval' (no 'unsafe-eval'): five digests
//     each, pasted digests compared, the time to the first digest, and a
//     screenshot whose colours are checked (the progress bars, the verdicts);
//   - a 1 GiB file made of one shared part of 1 MiB (so that neither the
//     page nor this script holds 1 GiB), in a browser of its own, whose
//     renderer's peak memory must stay below half the file's size;
//   - without 'wasm-unsafe-eval', and with no module built (a fresh clone):
//     the page must say the module could not be loaded, and what to run.
// Prints "browser: N passed, M failed".
//
//   node examples/web/test.mjs [BYTES]       (QUILLET_SCREENSHOT=FILE keeps the picture)
import { spawn } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { request } from 'node:http';
import { inflateSync } from 'node:zlib';

import quillet from '../../node/index.mjs';
import { CSP, createStaticServer } from './serve.mjs';

const size = Number(process.argv[2] || 16 * 1024 * 1024);
const MIB = 1024 * 1024;
const LARGE_PARTS = 1024;
const WIDTH = 1000;
const HEIGHT = 1400;
const generated = (length) => {
  const bytes = new Uint8Array(length);
  for (let i = 0; i < length; ++i) bytes[i] = (i * 131 + (i >> 8)) & 255;
  return bytes;
};

// The five digests as the page shows them, of `parts` copies of `bytes`,
// read as a stream; the proof is the library's own over the whole, where
// the whole is small enough to hold.
const [FIRST, SECOND] = [0x12345678, -0x21524111];  // the second as 0xDEADBEEF, typed as a signed value
const TOKENS = `&first=${FIRST}&second=${SECOND}`;
function expected(bytes, parts) {
  const hashes = ['sha1', 'broken_sha', 'lockdown_sha', 'md5'].map((name) => quillet.createHash(name));
  for (let i = 0; i < parts; ++i) for (const hash of hashes) hash.update(bytes);
  const [sha1, broken, lockdown, md5] = hashes.map((hash) => hash.digest());
  let proof;
  if (parts === 1) {
    proof = quillet.DoubleHashPassword(bytes, FIRST, SECOND);
  } else {
    const joined = Buffer.alloc(28);
    joined.writeUInt32LE(FIRST >>> 0, 0);
    joined.writeUInt32LE(SECOND >>> 0, 4);
    broken.copy(joined, 8);
    proof = quillet.BrokenSHA(joined);
  }
  return {
    StandardSHA: sha1.toString('hex'), BrokenSHA: broken.toString('hex'), LockdownSHA: lockdown.toString('hex'),
    MD5: md5.toString('hex').toUpperCase(), DoubleHashPassword: proof.toString('hex'),
  };
}

// The server: the repository, each page with the CSP its query names
// (csp=none: script-src 'self' only), /fresh/... as a fresh clone has it
// (no module built), and the page's reports to POST /result.
let reported = null;
const server = createStaticServer({
  headers: (request) => {
    const csp = new URL(request.url, 'http://x').searchParams.get('csp');
    return { 'Content-Security-Policy': csp === 'none' ? "script-src 'self'" : CSP };
  },
  handle(request, response) {
    if (request.method === 'POST' && request.url === '/result') {
      let body = '';
      request.on('data', (piece) => { body += piece; });
      request.on('end', () => { response.end(); reported?.(JSON.parse(body)); });
      return true;
    }
    if (request.url.startsWith('/fresh/')) {
      if (/\/quillet(-simd)?\.wasm$/.test(request.url.split('?')[0])) {
        response.statusCode = 404;
        response.end();
        return true;
      }
      request.url = request.url.slice('/fresh'.length);
    }
    return false;
  },
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const base = `http://127.0.0.1:${server.address().port}`;

// A browser, with the DevTools protocol over its pipes (fds 3 and 4, each
// message ending in a NUL). It runs in a process group of its own: its
// helper processes are killed with it, and its profile removed once it exited.
function launch() {
  const profile = mkdtempSync(join(tmpdir(), 'quillet-chromium-'));
  const child = spawn(process.env.CHROMIUM || 'chromium', ['--headless=new', '--no-sandbox', '--disable-gpu',
    '--disable-dev-shm-usage', '--remote-debugging-pipe', '--enable-precise-memory-info', '--hide-scrollbars',
    `--user-data-dir=${profile}`, 'about:blank'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'], detached: true });
  const pending = new Map();
  let next = 0;
  let buffer = Buffer.alloc(0);
  const exited = new Promise((resolve) => child.once('exit', resolve));
  child.once('error', (error) => { for (const { reject } of pending.values()) reject(error); });
  child.stdio[4].on('data', (chunk) => {
    buffer = Buffer.concat([buffer, chunk]);
    for (let end; (end = buffer.indexOf(0)) >= 0; buffer = buffer.subarray(end + 1)) {
      const message = JSON.parse(buffer.subarray(0, end).toString('utf8'));
      const waiting = pending.get(message.id);
      if (!waiting) continue;
      pending.delete(message.id);
      if (message.error) waiting.reject(new Error(`${waiting.method}: ${message.error.message}`));
      else waiting.resolve(message.result);
    }
  });
  const send = (method, params = {}, sessionId = undefined) => new Promise((resolve, reject) => {
    const id = ++next;
    pending.set(id, { resolve, reject, method });
    child.stdio[3].write(`${JSON.stringify({ id, method, params, sessionId })}\0`);
  });
  return {
    send,
    // The renderers' peak resident memory (VmHWM), in bytes.
    rendererPeak() {
      let peak = 0;
      for (const pid of readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
        try {
          const stat = readFileSync(`/proc/${pid}/stat`, 'utf8');
          const group = Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[2]);
          if (group !== child.pid || !readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer')) continue;
          const kib = Number((readFileSync(`/proc/${pid}/status`, 'utf8').match(/VmHWM:\s+(\d+)/) || [0, 0])[1]);
          peak = Math.max(peak, kib * 1024);
        } catch { /* gone */ }
      }
      return peak;
    },
    async close() {
      try { process.kill(-child.pid, 'SIGKILL'); } catch { child.kill('SIGKILL'); }
      if (child.exitCode === null && child.signalCode === null) await exited;
      rmSync(profile, { recursive: true, force: true, maxRetries: 10, retryDelay: 100 });
    },
  };
}

// Opens `path` in a new tab of `browser` and waits for the page's report;
// `before(session)` runs before it navigates.
async function visit(browser, path, before) {
  const { targetId } = await browser.send('Target.createTarget', { url: 'about:blank' });
  const { sessionId } = await browser.send('Target.attachToTarget', { targetId, flatten: true });
  await browser.send('Emulation.setDeviceMetricsOverride',
    { width: WIDTH, height: HEIGHT, deviceScaleFactor: 1, mobile: false }, sessionId);
  if (before) await before(sessionId);
  const report = new Promise((resolve, reject) => {
    reported = resolve;
    setTimeout(() => reject(new Error(`no report from ${path} in 120 s`)), 120_000).unref();
  });
  await browser.send('Page.navigate', { url: `${base}${path}` }, sessionId);
  return { report: await report, sessionId };
}

// A PNG's size and RGB(A) pixels (8 bits a channel, not interlaced).
function decodePng(png) {
  if (png.readUInt32BE(0) !== 0x89504e47) throw new Error('not a PNG');
  let width = 0;
  let height = 0;
  let channels = 0;
  const data = [];
  for (let at = 8; at < png.length;) {
    const length = png.readUInt32BE(at);
    const type = png.toString('latin1', at + 4, at + 8);
    const body = png.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      if (body[8] !== 8 || body[12] !== 0 || ![2, 6].includes(body[9])) throw new Error('an unexpected kind of PNG');
      channels = body[9] === 6 ? 4 : 3;
    } else if (type === 'IDAT') {
      data.push(body);
    }
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const pixels = Buffer.alloc(height * stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const left = x >= channels ? pixels[y * stride + x - channels] : 0;
      const up = y > 0 ? pixels[(y - 1) * stride + x] : 0;
      const corner = x >= channels && y > 0 ? pixels[(y - 1) * stride + x - channels] : 0;
      let add = 0;
      if (filter === 1) add = left;
      else if (filter === 2) add = up;
      else if (filter === 3) add = (left + up) >> 1;
      else if (filter === 4) {
        const p = left + up - corner;
        const [a, b, c] = [Math.abs(p - left), Math.abs(p - up), Math.abs(p - corner)];
        add = a <= b && a <= c ? left : b <= c ? up : corner;
      }
      pixels[y * stride + x] = (line[x] + add) & 255;
    }
  }
  return { width, height, channels, pixels };
}

// How many pixels are of each colour (within 4 of each channel).
function countColours({ width, height, channels, pixels }, colours) {
  const counts = Object.fromEntries(Object.keys(colours).map((name) => [name, 0]));
  const seen = new Set();
  for (let i = 0; i < width * height; ++i) {
    const [r, g, b] = pixels.subarray(i * channels, i * channels + 3);
    seen.add((r << 16) | (g << 8) | b);
    for (const [name, [R, G, B]] of Object.entries(colours)) {
      if (Math.abs(r - R) <= 4 && Math.abs(g - G) <= 4 && Math.abs(b - B) <= 4) ++counts[name];
    }
  }
  return { ...counts, distinct: seen.size };
}

let passed = 0;
let failed = 0;
const check = (ok, what) => {
  if (ok) ++passed; else { ++failed; console.log(`FAIL ${what}`); }
};
const sameDigests = (shown, want, what) => {
  for (const [name, value] of Object.entries(want)) check(shown?.[name] === value, `${what} ${name}: ${shown?.[name]}, not ${value}`);
};
const mib = (bytes) => (bytes / MIB).toFixed(0);

// The server: the module as application/wasm (compiled as it streams in),
// nothing outside the repository.
for (const [path, want] of [
  ['/node/wasm/quillet.wasm', (r) => r.status === 200 && r.type === 'application/wasm'],
  ['/examples/web', (r) => r.status === 301 && r.location === '/examples/web/'],
  [`/${'%2e%2e/'.repeat(16)}etc/passwd`, (r) => r.status === 404],
  [`/examples/web/${'..%2f'.repeat(16)}etc/passwd`, (r) => r.status === 404],
]) {
  const answer = await new Promise((resolve, reject) => {
    request(`${base}${path}`, { method: 'HEAD' }, (response) => {
      response.resume();
      resolve({ status: response.statusCode, type: response.headers['content-type'], location: response.headers.location });
    }).on('error', reject).end();
  });
  check(want(answer), `the server's answer to ${path}: ${JSON.stringify(answer)}`);
}

const started = Date.now();
let browser = launch();
try {
  // The page, under the strict policy: three files at once, three pasted digests.
  const bytes = generated(size);
  const want = expected(bytes, 1);
  const { report: page, sessionId } = await visit(browser, `/examples/web/?selftest=${size}&expect=${want.LockdownSHA}${TOKENS}`);
  if (page.loadError) {
    check(false, `the page could not load its module: ${page.loadError}`);
  } else {
    const [large, abc, empty] = page.files;
    sameDigests(large.digests, want, `${size} bytes`);
    sameDigests(abc.digests, expected(new TextEncoder().encode('abc'), 1), '"abc"');
    sameDigests(empty.digests, expected(new Uint8Array(0), 1), 'the empty file');
    check(large.verdict === 'matches its LockdownSHA', `the pasted LockdownSHA: "${large.verdict}"`);
    check(abc.verdict === 'matches its MD5', `the pasted MD5 of "abc" (lower case, spaces, 0x): "${abc.verdict}"`);
    check(empty.verdict === 'matches none of its digests', `a wrong digest pasted: "${empty.verdict}"`);
    check(page.files.every((file) => file.progress === '100'), `progress bars: ${page.files.map((f) => f.progress)}`);
    check(large.steps > 1, `the large file's progress shown ${large.steps} times`);
    check(page.evalRefused === true, `the policy in force ('unsafe-eval' refused): ${page.evalRefused}`);
    check(page.firstDigest.abc === '900150983CD24FB0D6963F7D28E17F72', 'MD5("abc") in the page');
    const { compile = NaN, instantiate = NaN, at, sinceImport } = page.firstDigest;
    console.log(`browser: first digest ${at.toFixed(1)} ms after navigation, ${sinceImport.toFixed(1)} ms after ` +
      `the import of quillet/wasm began (module fetch and compile ${compile.toFixed(1)} ms, instantiate ` +
      `${instantiate.toFixed(1)} ms); ${mib(size)} MiB, "abc" and an ` +
      `empty file hashed five ways in ${Math.round(page.ms)} ms`);

    // What a person sees: the picture's size, the bars' blue, the verdicts' green and red, no banner.
    const { data } = await browser.send('Page.captureScreenshot', { format: 'png' }, sessionId);
    const png = Buffer.from(data, 'base64');
    if (process.env.QUILLET_SCREENSHOT) writeFileSync(process.env.QUILLET_SCREENSHOT, png);
    const image = decodePng(png);
    const colours = countColours(image, { bar: [0x1f, 0x6f, 0xd1], match: [0x1e, 0x8e, 0x3e],
      red: [0xb0, 0x00, 0x20], found: [0xc8, 0xf0, 0xd0] });
    check(image.width === WIDTH && image.height === HEIGHT, `screenshot ${image.width}x${image.height}`);
    check(colours.distinct > 50, `screenshot colours: ${colours.distinct}`);
    check(colours.bar > 3 * 12 * 700, `full progress bars' pixels: ${colours.bar}`);
    check(colours.match > 2 * 600 && colours.found > 2 * 8000, `matches shown: ${colours.match}, ${colours.found}`);
    check(colours.red > 600 && colours.red < 12000, `one mismatch and no banner: ${colours.red} red pixels`);
  }

  // The module refused by the policy, and not there at all: the page says so.
  for (const [label, path, cause] of [
    ["without 'wasm-unsafe-eval'", `/examples/web/?selftest=3&csp=none`, /Content-Security-Policy.*'wasm-unsafe-eval'/],
    ['with no module built (a fresh clone)', '/fresh/examples/web/?selftest=3', /HTTP 404/],
  ]) {
    const { report } = await visit(browser, path);
    check(cause.test(report.loadError ?? ''), `${label}: the error is "${report.loadError}"`);
    check(/could not be loaded: build it with node node\/scripts\/build-wasm\.mjs, serve the page with node examples\/web\/serve\.mjs/
      .test(report.banner ?? ''), `${label}: the banner reads "${report.banner}"`);
  }

  // With DevTools open (the debugger on): the same digests, and its speed.
  const { report: debugged } = await visit(browser, `/examples/web/?selftest=${size}${TOKENS}`,
    (session) => browser.send('Debugger.enable', {}, session));
  sameDigests(debugged.files?.[0]?.digests, want, 'with the debugger on:');
  console.log(`browser: with DevTools' debugger on, ${mib(size)} MiB hashed five ways in ${Math.round(debugged.ms)} ms`);
  await browser.close();

  // 1 GiB, in a browser of its own so that its renderer's peak is this file's.
  browser = launch();
  const part = generated(MIB);
  const { report: large } = await visit(browser, `/examples/web/?selftest=${MIB}&parts=${LARGE_PARTS}${TOKENS}`);
  const peak = browser.rendererPeak();
  await browser.close();
  browser = null;
  const total = MIB * LARGE_PARTS;
  sameDigests(large.files?.[0]?.digests, expected(part, LARGE_PARTS), `${mib(total)} MiB:`);
  check(large.files?.[0]?.progress === '100', `${mib(total)} MiB: progress ${large.files?.[0]?.progress}`);
  check(peak > 0 && peak < total / 2, `${mib(total)} MiB: the renderer's peak memory ${mib(peak)} MiB`);
  console.log(`browser: ${mib(total)} MiB (one file of shared parts) hashed five ways in ${Math.round(large.ms)} ms ` +
    `(${(total / MIB / (large.ms / 1000)).toFixed(0)} MiB/s); renderer peak ${mib(peak)} MiB, JS heap peak ` +
    `${mib(large.peakHeap)} MiB`);
} catch (error) {
  check(false, String(error.stack || error));
} finally {
  await browser?.close();
  server.close();
}
console.log(`(the browser test took ${((Date.now() - started) / 1000).toFixed(0)} s)`);
console.log(`browser: ${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
