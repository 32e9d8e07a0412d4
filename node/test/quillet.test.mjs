// The package through one backend (QUILLET_BACKEND=wasm for the WebAssembly
// build, the addon otherwise; test/run.mjs runs both): node:crypto side by
// side for sha1 and md5, the repository's known answers for every digest,
// encodings, hashes as streams, bad arguments, and threads.
import assert from 'node:assert/strict';
import crypto from 'node:crypto';
import { createReadStream, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { PassThrough, Readable, Transform, Writable } from 'node:stream';
import { pipeline } from 'node:stream/promises';
import { test } from 'node:test';
import { Worker } from 'node:worker_threads';
import { createRequire } from 'node:module';

import quillet from '../index.mjs';
import quilletWasm from '../wasm/node.mjs';
import { browserPlatform } from '../lib/browser-platform.mjs';
import { makeQuillet } from '../lib/core.mjs';
import { nodePlatform } from '../lib/node-platform.mjs';
import { wasmBackend, wasmFileName } from '../lib/wasm-backend.mjs';
import { knownAnswers } from './known_answers.mjs';

const want = process.env.QUILLET_BACKEND === 'wasm' ? 'wasm' : 'addon';
const seeded = (seed) => () => ((seed = (seed * 1103515245 + 12345) >>> 0) >>> 16) & 255;
const bytes = (length, seed) => Buffer.from(Array.from({ length }, seeded(seed)));
const MEBIBYTE = bytes(1 << 20, 7);
// The package's two entries ('quillet' and 'quillet/wasm', whose results are
// Uint8Arrays), for what both must do alike.
const entries = [['quillet', quillet], ['quillet/wasm', quilletWasm]];
// What a call gives, or the kind of error it throws, to set beside node:crypto's.
const outcome = (call) => {
  try {
    const result = call();
    return { result: result instanceof Uint8Array ? Buffer.from(result) : result };
  } catch (error) {
    return { name: error.name, code: error.code, message: error.message };
  }
};
// An ArrayBuffer transferred away, and views of it.
const detached = () => {
  const buffer = new ArrayBuffer(16);
  const views = [new Uint8Array(buffer, 4, 8), new DataView(buffer), Buffer.from(buffer, 2, 3)];
  structuredClone(buffer, { transfer: [buffer] });
  return [buffer, ...views];
};

test('the backend asked for is the one that runs', () => {
  assert.equal(quillet.backend, want);
  assert.deepEqual(quillet.getHashes(), ['sha1', 'broken_sha', 'lockdown_sha', 'md5']);
  // Node.js 18 on has SIMD128: the SIMD module, unless QUILLET_WASM_SIMD=0.
  assert.equal(wasmFileName(), process.env.QUILLET_WASM_SIMD === '0' ? 'quillet.wasm' : 'quillet-simd.wasm');
  assert.equal(wasmFileName(false), 'quillet.wasm');
});

test('sha1 and md5 equal node:crypto at every length to 300, whole, split and copied', () => {
  const next = seeded(99);
  for (const name of ['sha1', 'md5']) {
    for (let length = 0; length <= 300; ++length) {
      const data = bytes(length, length);
      const theirs = crypto.createHash(name).update(data).digest('hex');
      assert.equal(quillet.createHash(name).update(data).digest('hex'), theirs, `${name} ${length}`);
      const cut = next() % (length + 1);
      const head = quillet.createHash(name.toUpperCase()).update(data.subarray(0, cut));
      const copy = head.copy();
      head.update('something else');
      assert.equal(copy.update(data.subarray(cut)).digest('hex'), theirs, `${name} ${length} copied`);
    }
    const theirs = crypto.createHash(name).update(MEBIBYTE).digest();
    assert.deepEqual(quillet.createHash(name).update(MEBIBYTE).digest(), theirs);
    const split = quillet.createHash(name);
    for (let at = 0; at < MEBIBYTE.length;) {
      const piece = 1 + ((next() << 8 | next()) % 100000);
      split.update(MEBIBYTE.subarray(at, at + piece));
      at += piece;
    }
    assert.deepEqual(split.digest(), theirs, `${name}, 1 MiB in random pieces`);
  }
});

test('every known answer, through the exports and the hashers', () => {
  const names = { StandardSHA: 'sha1', BrokenSHA: 'broken_sha', LockdownSHA: 'lockdown_sha', MD5: 'md5' };
  let count = 0;
  for (const { digest, message, tokens, expected } of knownAnswers()) {
    if (digest === 'DoubleHashPassword') {
      const [first, second] = tokens;
      assert.equal(quillet.DoubleHashPassword(message, first, second).toString('hex'), expected);
      // Signed and unsigned readings of the same 32 bits.
      assert.equal(quillet.DoubleHashPassword(message, first | 0, second | 0).toString('hex'), expected);
    } else if (digest === 'MD5') {
      assert.equal(quillet.MD5(message), expected);
      assert.equal(quillet.createHash('md5').update(message).digest('hex').toUpperCase(), expected);
    } else {
      assert.equal(quillet[digest](message).toString('hex'), expected, `${digest} ${message.length}`);
      assert.equal(quillet.createHash(names[digest]).update(message).digest('hex'), expected);
    }
    ++count;
  }
  assert.ok(count > 40, `${count} known answers`);
});

test('data and digests in every encoding, as node:crypto takes and gives them', () => {
  const text = 'Grüße, 世界! \u{1F600} \x00\xff';
  for (const encoding of ['utf8', 'utf-8', 'hex', 'base64', 'base64url', 'latin1', 'binary', 'ascii',
    'utf16le', 'ucs2', undefined, 'no-such-encoding', { toString: () => 'hex' }, Symbol('hex'),
    { toString() { throw new RangeError('no encoding'); } }]) {
    const data = encoding === 'hex' ? 'deadBEEF00' : /^base64/.test(typeof encoding === 'string' && encoding) ?
      'AQID/+_-==' : text;
    const theirs = crypto.createHash('sha1').update(data, encoding).digest('hex');
    assert.equal(quillet.createHash('sha1').update(data, encoding).digest('hex'), theirs,
      typeof encoding === 'object' ? 'an object' : String(encoding));
  }
  const data = bytes(1000, 3);
  const views = [data, new Uint8Array(data), new Uint16Array(data.buffer, data.byteOffset, 500),
    new DataView(data.buffer, data.byteOffset, 1000), new Float64Array(new Uint8Array(data).buffer)];
  for (const view of views) {
    assert.equal(quillet.createHash('md5').update(view).digest('hex'),
      crypto.createHash('md5').update(view).digest('hex'), view.constructor.name);
  }
  assert.equal(quillet.createHash('md5').update(new Uint8Array(data).buffer).digest('hex'),
    crypto.createHash('md5').update(data).digest('hex'), 'an ArrayBuffer');
  // What digest(encoding) gives, or throws and then leaves the hash able to go on.
  const outcome = (hash, encoding) => {
    try {
      return { digest: hash.digest(encoding) };
    } catch (error) {
      return { threw: error.constructor.name, message: error.message, then: hash.update('more').digest('hex') };
    }
  };
  const encodings = ['hex', 'base64', 'base64url', 'latin1', 'binary', 'utf16le', 'buffer', undefined, 'HEX',
    'no-such-encoding', '', null, 0, { toString: () => 'base64' }, Symbol('hex'),
    { toString() { throw new RangeError('no encoding'); } }];
  encodings.forEach((encoding, i) => {
    assert.deepEqual(outcome(quillet.createHash('sha1').update(data), encoding),
      outcome(crypto.createHash('sha1').update(data), encoding), `encoding #${i}`);
  });
});

test("the browser's encodings read and write as Buffer does", () => {
  const strings = ['', 'abc', 'Grüße 世界 \u{1F600}', 'deadbeef', 'DEADbeef01', 'a1zz', 'zz', 'AQID',
    'AQID/+_-', 'YWJj ZA==', 'YW\nJj', '\x00\xff\x80'];
  for (const text of strings) {
    // Text outside the base64 alphabet is left to Node's own quirks.
    const base64 = /^[A-Za-z0-9+/_=\s-]*$/.test(text) ? ['base64', 'base64url'] : [];
    for (const encoding of ['utf8', 'hex', ...base64, 'latin1', 'binary', 'ascii', 'utf16le', 'ucs2']) {
      const theirs = Buffer.from(text, encoding);
      const ours = browserPlatform.fromString(text, encoding);
      assert.deepEqual(Buffer.from(ours), theirs, `${JSON.stringify(text)} as ${encoding}`);
    }
  }
  for (let length = 0; length < 24; ++length) {
    const data = bytes(length, length + 40);
    for (const encoding of ['hex', 'base64', 'base64url', 'latin1', 'binary']) {
      assert.equal(browserPlatform.encode(data, encoding), data.toString(encoding), `${length} ${encoding}`);
    }
  }
});

// The addon checks what it is given again: a call that bypasses the package
// gets a TypeError, never a crash or a write past a result's end.
test('the addon refuses malformed calls', { skip: want !== 'addon' }, () => {
  const addon = createRequire(import.meta.url)('../build/quillet.node');
  const h = addon.newHasher(0);
  const data = new Uint8Array(3);
  const calls = [
    () => addon.newHasher(4), () => addon.newHasher(-1), () => addon.newHasher('0'),
    () => addon.update({}, data), () => addon.update(h, 'abc'), () => addon.update(h),
    () => addon.finish(h), () => addon.finish(h, new Uint8Array(19)), () => addon.finish(h, new Uint8Array(21)),
    () => addon.finish(h, new Uint16Array(10)), () => addon.finish(data, new Uint8Array(20)),
    () => addon.finish(addon.newHasher(3), new Uint8Array(20)), () => addon.copy(data),
    () => addon.exportDigest(0, data, new Uint8Array(16)), () => addon.exportDigest(3, data, new Uint8Array(16)),
    () => addon.exportDigest(4, data, new Uint8Array(20)), () => addon.exportDigest(0, data),
    () => addon.doubleHash(data, 1, 2, new Uint8Array(16)), () => addon.doubleHash(data, 1, 2),
    () => addon.doubleHash(data, 'x', 2, new Uint8Array(20)),
    () => addon.digest(4, data, new Uint8Array(20)), () => addon.digest(3, data, new Uint8Array(20)),
    () => addon.digestMany(0, data, new Uint8Array(20)), () => addon.digestMany(0, [data], new Uint8Array(19)),
    () => addon.digestMany(0, [data, 'abc'], new Uint8Array(40)), () => addon.digestMany(4, [], new Uint8Array(0)),
    () => addon.digestMany(3, [data, data], new Uint8Array(20)),
  ];
  for (const call of calls) assert.throws(call, { name: 'TypeError' }, String(call));
  const out = new Uint8Array(20);
  addon.finish(addon.newHasher(0), out);
  assert.deepEqual(Buffer.from(out), crypto.createHash('sha1').digest());
  // Any typed array given directly is read as all of its bytes.
  const backing = new Uint8Array(bytes(64, 3)).buffer;
  for (const View of [Int8Array, Uint16Array, Int32Array, Float32Array, Float64Array, BigUint64Array]) {
    const view = new View(backing, 8, 6);
    addon.exportDigest(0, view, out);
    const want = crypto.createHash('sha1').update(new Uint8Array(backing, 8, view.byteLength)).digest();
    assert.deepEqual(Buffer.from(out), want, View.name);
  }
});

// The WebAssembly module's memory lives as long as the page or process:
// nothing of an input, a password or a result may stay in it after a call.
test('the WebAssembly memory keeps nothing of what was hashed', { skip: want !== 'wasm' }, () => {
  for (const file of ['quillet.wasm', 'quillet-simd.wasm']) {
    const module = new WebAssembly.Module(readFileSync(new URL(`../wasm/${file}`, import.meta.url)));
    const instance = new WebAssembly.Instance(module, {});
    const wasm = makeQuillet(wasmBackend(instance), nodePlatform);
    const input = bytes(100_000, 11);
    const results = [
      wasm.createHash('sha1').update(input).digest(), wasm.createHash('md5').update(input).digest(),
      wasm.StandardSHA(input), wasm.BrokenSHA(input.subarray(0, 77)), Buffer.from(wasm.MD5(input)),
      wasm.DoubleHashPassword(input.subarray(0, 40), 5, 6),
      Buffer.from(wasm.hash('lockdown_sha', input.subarray(0, 50)), 'hex'),
      wasm.hash('md5', input.subarray(200, 300), 'buffer'),
      ...wasm.digestMany('sha1', [input.subarray(0, 64), input.subarray(300, 30_000), input.subarray(0, 3)]),
      ...wasm.digestMany('md5', Array.from({ length: 9 }, (_, i) => input.subarray(1000 * i, 1000 * i + 999))),
    ];
    const memory = Buffer.from(instance.exports.memory.buffer);
    for (const at of [0, 64 * 1024 - 16, input.length - 16, 5, 200, 300, 1000, 8000]) {
      assert.equal(memory.indexOf(input.subarray(at, at + 16)), -1, `${file}: input bytes at ${at}`);
    }
    // Each pair of a result's words, as bytes and as the engines hold them
    // (each word in the other byte order).
    for (const result of results) {
      for (let at = 0; at + 8 <= result.length; at += 4) {
        const pair = Buffer.from(result.subarray(at, at + 8));
        assert.equal(memory.indexOf(pair), -1, `${file}: ${result.toString('hex')} at ${at}`);
        assert.equal(memory.indexOf(Buffer.from(pair).swap32()), -1,
          `${file}: ${result.toString('hex')} at ${at}, swapped`);
      }
    }
  }
});

// digestMany: what a hash of each message gives, in every backend and both
// WebAssembly modules (the SIMD one's lanes, the scalar one's messages one at
// a time), over lengths about a block's edges, ragged counts that leave
// lanes idle, and batches the module takes in several pieces (by bytes and
// by count).
test('digestMany gives each message its own digest', () => {
  const lengths = [0, 1, 55, 56, 63, 64, 65, 119, 120, 1000, 0, 5, 128, 300];
  const messages = lengths.map((length, i) => bytes(length, 40 + i));
  const large = [bytes(3 << 20, 5), ...Array.from({ length: 7 }, (_, i) => bytes(700_000 + i, i))];
  const wasmModules = want !== 'wasm' ? [] : ['quillet.wasm', 'quillet-simd.wasm'].map((file) => [file,
    makeQuillet(wasmBackend(new WebAssembly.Instance(new WebAssembly.Module(
      readFileSync(new URL(`../wasm/${file}`, import.meta.url))), {})), nodePlatform)]);
  for (const name of quillet.getHashes()) {
    const one = (message) => quillet.createHash(name).update(message).digest('hex');
    for (const [label, q] of [...entries, ...wasmModules]) {
      for (const count of [1, 2, 3, 5, 9, 13, lengths.length]) {
        const got = q.digestMany(name, messages.slice(0, count));
        assert.equal(got.length, count);
        got.forEach((digest, i) => assert.equal(Buffer.from(digest).toString('hex'), one(messages[i]),
          `${label} ${name}: ${count} messages, message ${i} of ${messages[i].length} bytes`));
      }
      if (name === 'sha1' || name === 'broken_sha') {
        const got = q.digestMany(name, [...large, messages[3]]);
        [...large, messages[3]].forEach((message, i) =>
          assert.equal(Buffer.from(got[i]).toString('hex'), one(message), `${label} ${name}: large ${i}`));
      }
      // More messages than one call to the module takes.
      const many = Array.from({ length: 9000 }, (_, i) => messages[i % messages.length]);
      q.digestMany(name, many).forEach((digest, i) => {
        if (i % 997 === 0 || i >= 4090) {
          assert.equal(Buffer.from(digest).toString('hex'), one(many[i]), `${label} ${name}: ${i} of 9000`);
        }
      });
    }
    assert.deepEqual(quillet.digestMany(name, []), []);
    // Every kind of data update() takes, each message on its own.
    const forms = ['abc', 'é', new Uint16Array([1, 2, 3]), new DataView(new Uint8Array(bytes(9, 2)).buffer, 1, 7),
      new Uint8Array(bytes(70, 4)).buffer, Buffer.alloc(0)];
    quillet.digestMany(name, forms).forEach((digest, i) =>
      assert.deepEqual(digest, quillet.createHash(name).update(forms[i]).digest(), `${name} form ${i}`));
  }
  const [first] = quillet.digestMany('MD5', ['abc']);
  assert.ok(first instanceof Buffer);
  assert.equal(first.toString('hex'), '900150983cd24fb0d6963f7d28e17f72');
  assert.ok(!(quilletWasm.digestMany('md5', ['abc'])[0] instanceof Buffer));
});

test('a hash digested is finished, as node:crypto says', () => {
  const hash = quillet.createHash('broken_sha').update('a');
  hash.digest();
  for (const call of [() => hash.update('b'), () => hash.digest(), () => hash.copy()]) {
    assert.throws(call, { name: 'Error', code: 'ERR_CRYPTO_HASH_FINALIZED', message: 'Digest already called' });
  }
  assert.throws(() => new quillet.Hash(), TypeError);
});

test('bad arguments are refused with the kind of error Node.js gives', () => {
  const typeError = { name: 'TypeError', code: 'ERR_INVALID_ARG_TYPE' };
  // Memory transferred away is refused, not hashed as no bytes (node:crypto
  // refuses an ArrayBuffer, and hashes a view of a detached one as empty).
  for (const value of [5, null, undefined, {}, [1, 2], true, () => 1, 5n, Symbol('s'), ...detached()]) {
    const kind = value?.constructor?.name ?? typeof value;
    const hash = quillet.createHash('sha1');
    assert.throws(() => hash.update(value), typeError, kind);
    assert.equal(hash.digest('hex'), crypto.createHash('sha1').digest('hex'), `${kind}: the hash goes on`);
    assert.throws(() => quillet.StandardSHA(value), typeError);
    assert.throws(() => quillet.MD5(value), typeError);
    assert.throws(() => quillet.DoubleHashPassword(value, 1, 2), { ...typeError, message: /"password"/ });
    for (const [entry, q] of entries) {
      assert.throws(() => q.hash('md5', value), { ...typeError, message: /"input"/ }, entry);
      assert.throws(() => q.digestMany('md5', ['a', value]), { ...typeError, message: /"buffers\[1\]"/ }, entry);
      if (!Array.isArray(value)) {
        assert.throws(() => q.digestMany('sha1', value), { ...typeError, message: /"buffers"/ }, entry);
      }
    }
  }
  for (const [entry, q] of entries) {
    assert.throws(() => q.digestMany('sha256', []), { name: 'Error', message: 'Digest method not supported' }, entry);
    assert.throws(() => q.digestMany(3, []), { ...typeError, message: /"algorithm"/ }, entry);
  }
  assert.throws(() => quillet.createHash('md5').update(detached()[1]), { message: /detached/ });
  assert.throws(() => quillet.createHash('sha256'), { name: 'Error', message: 'Digest method not supported' });
  assert.throws(() => quillet.createHash(1), { ...typeError, message: /"algorithm"/ });
  assert.throws(() => quillet.createHash('sha1').update('abc', 'hex'), { code: 'ERR_INVALID_ARG_VALUE' });
  for (const [value, kind] of [[2 ** 32, RangeError], [-(2 ** 31) - 1, RangeError], [1.5, RangeError],
    [NaN, RangeError], [Infinity, RangeError], ['1', TypeError], [1n, TypeError], [null, TypeError]]) {
    assert.throws(() => quillet.DoubleHashPassword('pw', value, 0), { name: kind.name, message: /"firstToken"/ });
    assert.throws(() => quillet.DoubleHashPassword('pw', 0, value), { name: kind.name, message: /"secondToken"/ });
  }
  assert.deepEqual(quillet.DoubleHashPassword('pw', -1, 2 ** 31 - 1),
    quillet.DoubleHashPassword('pw', 2 ** 32 - 1, 2 ** 31 - 1));
});

test('hash(), as node:crypto.hash gives and refuses it', { skip: !crypto.hash && 'no crypto.hash here' }, () => {
  const data = bytes(300, 5);
  const inputs = ['', 'abc', 'Grüße, 世界 \u{1F600}', data, new Uint8Array(data.subarray(0, 77)),
    new Uint16Array(new Uint8Array(data).buffer, 2, 50), new DataView(new Uint8Array(data).buffer, 3, 200)];
  const encodings = [undefined, 'hex', 'base64', 'base64url', 'latin1', 'binary', 'utf8', 'utf16le', 'ucs2', 'ascii',
    '', 'HEX', 'Base64', 'buffer', 'BUFFER', 'no-such-encoding', null, 5, { toString: () => 'hex' }];
  const calls = [];
  for (const name of ['sha1', 'md5', 'SHA1', 'Md5']) {
    for (const input of inputs) calls.push([name, input]);
    for (const encoding of encodings) calls.push([name, 'abc', encoding]);
  }
  // Refusals, and which argument is checked first.
  calls.push(['sha256', 'abc'], ['no-such-hash', 'abc', 'base64'], [5, 'abc'], [null, 'abc'], ['sha256', 5],
    ['sha256', 'abc', 5], ['sha256', 'abc', 'no-such-encoding'], ['sha1', 5, 'no-such-encoding'], [5, 5, 5],
    ['sha1', 'abc', 'hex', 'more']);
  for (const [entry, q] of entries) {
    for (const call of calls) {
      if (call[0] === 'sha256' && call.length === 2 && typeof call[1] === 'string') {
        assert.throws(() => q.hash(...call), { name: 'Error', message: 'Digest method sha256 is not supported' });
        continue;
      }
      // The browser's encodings (quillet/wasm) are hex, base64, base64url, latin1 and utf8.
      if (entry === 'quillet/wasm' && /^(utf16le|ucs2|ascii)$/.test(call[2])) {
        assert.throws(() => q.hash(...call), { code: 'ERR_INVALID_ARG_VALUE' });
        continue;
      }
      // Ours takes an ArrayBuffer too, and says so when refusing.
      const ours = outcome(() => q.hash(...call));
      if (ours.message) ours.message = ours.message.replace(', DataView, or ArrayBuffer.', ', or DataView.');
      assert.deepEqual(ours, outcome(() => crypto.hash(...call)),
        `${entry} ${call.map((v) => (typeof v === 'object' && v !== null ? v.constructor.name : String(v))).join(', ')}`);
    }
    // Every digest, as its hash object gives it; and an ArrayBuffer, as update() takes it.
    for (const name of q.getHashes()) {
      assert.equal(q.hash(name, data), quillet.createHash(name).update(data).digest('hex'), `${entry} ${name}`);
      assert.equal(q.hash(name, MEBIBYTE, 'base64'), quillet.createHash(name).update(MEBIBYTE).digest('base64'));
    }
    assert.equal(q.hash('sha1', new Uint8Array(data).buffer), crypto.hash('sha1', data));
  }
});

test('options.outputLength is refused as node:crypto refuses it for digests of fixed size', () => {
  const lengths = [undefined, 0, 15, 16, 17, 19, 20, 21, 2 ** 32 - 1, 2 ** 32, -1, 1.5, NaN, Infinity, '20', null, 20n];
  for (const name of ['sha1', 'md5', 'SHA1']) {
    const options = [undefined, null, 5, 'x', {}, { highWaterMark: 1 }, ...lengths.map((outputLength) => ({ outputLength }))];
    for (const option of options) {
      const shown = `${name} ${JSON.stringify(option, (_, v) => (typeof v === 'bigint' ? `${v}n` : v))}`;
      const ours = outcome(() => quillet.createHash(name, option).update('a').digest('hex'));
      assert.deepEqual(ours, outcome(() => crypto.createHash(name, option).update('a').digest('hex')), shown);
      assert.deepEqual(outcome(() => quillet.createHash(name).update('a').copy(option).digest('hex')),
        outcome(() => crypto.createHash(name).update('a').copy(option).digest('hex')), `copy, ${shown}`);
      // The variants are 20 bytes, as sha1.
      const variant = outcome(() => quillet.createHash('lockdown_sha', option).digest('hex'));
      if (!/md5/i.test(name)) assert.equal(variant.code, ours.code, `lockdown_sha ${shown}`);
    }
  }
  for (const [name, option] of [[5, { outputLength: 'x' }], ['sha256', { outputLength: 16 }], ['sha256', { outputLength: -1 }]]) {
    assert.deepEqual(outcome(() => quillet.createHash(name, option)), name === 'sha256' && option.outputLength === 16 ?
      { name: 'Error', code: undefined, message: 'Digest method not supported' } : outcome(() => crypto.createHash(name, option)));
  }
  assert.equal(quillet.createHash('broken_sha', { outputLength: 20 }).digest('hex'),
    quillet.createHash('broken_sha').digest('hex'));
  assert.throws(() => quillet.createHash('broken_sha', { outputLength: 16 }), { code: 'ERR_OSSL_EVP_NOT_XOF_OR_INVALID_LENGTH' });
});

// Each way of using a hash as a stream, on ours and on node:crypto's: what
// it gives (the digest read, in data events, piped on, or by digest() once
// the stream has ended).
test('a Hash is a stream, as node:crypto\'s is', async () => {
  const directory = mkdtempSync(join(tmpdir(), 'quillet-stream-'));
  const file = join(directory, 'data');
  writeFileSync(file, MEBIBYTE.subarray(0, 300_001));
  const collect = (stream) => new Promise((resolve, reject) => {
    const chunks = [];
    stream.on('data', (chunk) => chunks.push(chunk)).on('end', () => resolve(chunks)).on('error', reject);
  });
  const uses = {
    'pipeline from a file, then read()': async (h) => { await pipeline(createReadStream(file), h); return [h.read(), h.read()]; },
    'pipeline, then digest() once': async (h) => {
      await pipeline(Readable.from([data(0, 5), 'text', data(5, 70000)]), h);
      return [h.digest('hex'), outcome(() => h.digest()), outcome(() => h.update('x')), outcome(() => h.copy())];
    },
    '.pipe() with setEncoding': (h) => collect(createReadStream(file, { highWaterMark: 1000 }).pipe(h).setEncoding('base64')),
    'written in encodings, with update()': (h) => {
      h.write('6162', 'hex');
      h.update('middle');
      h.write(new Uint8Array([1, 2, 3]));
      h.end('end', 'latin1');
      return collect(h);
    },
    'piped on': async (h) => {
      const into = new PassThrough();
      await pipeline(Readable.from([data(0, 1000)]), h, into);
      return into.read();
    },
    'setEncoding, end(data), read()': (h) => {
      h.setEncoding('hex');
      h.end(data(0, 64));
      return h.read();
    },
    'ended with nothing': (h) => { h.end(); return h.read(); },
    'async iteration': async (h) => {
      h.end('abc');
      const out = [];
      for await (const chunk of h) out.push(chunk);
      return out;
    },
    'options reach the stream': (h) => [h.readableHighWaterMark, h.writableHighWaterMark, h instanceof Transform,
      h instanceof Writable],
  };
  function data(from, to) { return MEBIBYTE.subarray(from, to); }
  try {
    for (const name of ['sha1', 'md5']) {
      for (const [use, run] of Object.entries(uses)) {
        const options = { highWaterMark: 7 };
        const theirs = await run(crypto.createHash(name, options));
        for (const [entry, q] of entries) {
          assert.deepEqual(await run(q.createHash(name, options)), theirs, `${entry} ${name}: ${use}`);
        }
      }
    }
    // Written to once digested, the stream fails as update() would (node:crypto
    // drops what is written and gives the old digest again).
    for (const [entry, q] of entries) {
      const h = q.createHash('lockdown_sha');
      h.digest();
      await assert.rejects(pipeline(Readable.from(['more']), h), { code: 'ERR_CRYPTO_HASH_FINALIZED' }, entry);
      const ended = q.createHash('broken_sha');
      await pipeline(Readable.from(['abc']), ended);
      assert.deepEqual(Buffer.from(ended.read()), quillet.BrokenSHA('abc'));
      // Used without its stream, a hash makes none.
      const plain = q.createHash('md5').update('a');
      plain.digest();
      assert.ok(!Object.hasOwn(plain, '_readableState') && !Object.hasOwn(plain, '_events'), entry);
    }
  } finally {
    rmSync(directory, { recursive: true, force: true });
  }
});

test('threads hash at once, each with the same results', async () => {
  const script = `
    import { parentPort, workerData } from 'node:worker_threads';
    const quillet = (await import(workerData.module)).default;
    const out = [];
    for (let round = 0; round < 20; ++round) {
      for (const name of quillet.getHashes()) out.push(quillet.createHash(name).update(workerData.data).digest('hex'));
    }
    parentPort.postMessage({ backend: quillet.backend, out });`;
  const data = MEBIBYTE.subarray(0, 100000);
  const expected = quillet.getHashes().map((name) => quillet.createHash(name).update(data).digest('hex'));
  const results = await Promise.all(Array.from({ length: 4 }, () => new Promise((resolve, reject) => {
    const worker = new Worker(new URL(`data:text/javascript,${encodeURIComponent(script)}`), {
      workerData: { module: new URL('../index.mjs', import.meta.url).href, data },
    });
    worker.once('message', resolve);
    worker.once('error', reject);
  })));
  for (const { backend, out } of results) {
    assert.equal(backend, want);
    out.forEach((hex, i) => assert.equal(hex, expected[i % expected.length]));
  }
});

test("the package's version is the library's", () => {
  const header = readFileSync(new URL('../../include/quillet/quillet.h', import.meta.url), 'utf8');
  const part = (name) => Number(header.match(new RegExp(`#define QUILLET_VERSION_${name} (\\d+)`))[1]);
  const pkg = JSON.parse(readFileSync(new URL('../package.json', import.meta.url), 'utf8'));
  assert.equal(pkg.version, `${part('MAJOR')}.${part('MINOR')}.${part('PATCH') * 1000 + part('TWEAK')}`);
});

// The browser entry, in Node.js: its own load (a fetch of a file: URL) fails,
// which must not fail the import; init(source) then loads it. Each source
// kind in a module instance of its own (a query makes one).
test('the browser entry loads through init(), from each kind of source', async () => {
  const wasm = readFileSync(new URL('../wasm/quillet.wasm', import.meta.url));
  const typed = (type) => () => new Response(wasm, { headers: { 'Content-Type': type } });
  const sources = [
    ['ArrayBuffer', () => wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.length)],
    ['Uint8Array', () => new Uint8Array(wasm)],
    ['Response, application/wasm', typed('application/wasm')],
    ['Response of another type', typed('application/octet-stream')],
    ['promise of a Response', () => Promise.resolve(typed('application/wasm')())],
    ['WebAssembly.Module', () => new WebAssembly.Module(wasm)],
  ];
  for (const [index, [kind, source]] of sources.entries()) {
    const entry = await import(`../wasm/index.mjs?source=${index}`);
    assert.throws(() => entry.createHash('sha1'), /could not be loaded.*init\(\)/, kind);
    await assert.rejects(entry.init(new Uint8Array([0, 97, 115, 109, 9])), /could not be loaded/, kind);
    const loading = entry.init(source());
    assert.equal(entry.init(), loading, `${kind}: init() gives the same promise`);
    assert.equal(await loading, entry.default, kind);
    assert.equal(entry.init(source()), loading, `${kind}: loaded once`);
    assert.equal(entry.createHash('sha1').update('abc').digest('hex'),
      'a9993e364706816aba3e25717850c26c9cd0d89d', kind);
    assert.ok(entry.default.createHash('md5') instanceof entry.Hash, kind);
    assert.equal(entry.MD5('abc'), '900150983CD24FB0D6963F7D28E17F72', kind);
  }
  const other = await import('../wasm/index.mjs?source=none');
  await assert.rejects(other.init(42), /could not be loaded.*takes a URL/);
  await assert.rejects(other.init('http://127.0.0.1:1/quillet.wasm'), /could not be loaded: http:\/\/127\.0\.0\.1:1/);
  assert.equal(await quilletWasm.init(), quilletWasm);
});

test('hashBlob reads a Blob a slice at a time, with the digest createHash gives', async () => {
  const browser = await import('../wasm/index.mjs?hashBlob');
  await browser.init(readFileSync(new URL('../wasm/quillet.wasm', import.meta.url)));
  const data = MEBIBYTE.subarray(0, 300001);
  // Sizes, slice sizes (undefined: the default), algorithms.
  const cases = [[0, 5], [1, undefined], [1000, 1], [1000, 7], [300001, 65536], [300001, undefined], [300001, 300001]];
  for (const [label, q] of [['quillet/wasm in Node.js', quilletWasm], ['quillet/wasm', browser]]) {
    for (const [size, chunkSize] of cases) {
      for (const name of q.getHashes()) {
        const bytes = data.subarray(0, size);
        // A Blob of several parts, as a page makes one of repeated parts.
        const blob = new Blob([bytes.subarray(0, size >> 1), bytes.subarray(size >> 1)]);
        const steps = [];
        const digest = await q.hashBlob(blob, name, { chunkSize, onProgress: (done, total) => steps.push([done, total]) });
        const what = `${label} ${name} ${size} by ${chunkSize}`;
        assert.deepEqual(Buffer.from(digest), Buffer.from(quillet.createHash(name).update(bytes).digest()), what);
        const slice = chunkSize ?? 8 << 20;
        assert.equal(steps.length, Math.ceil(size / slice), what);
        steps.forEach(([done, total], i) => assert.deepEqual([done, total], [Math.min((i + 1) * slice, size), size], what));
      }
      const part = data.subarray(0, size);
      assert.equal(await q.hashBlob(new Blob([part]), 'md5', { encoding: 'hex', chunkSize }),
        crypto.createHash('md5').update(part).digest('hex'), label);
      assert.deepEqual(await q.hashBlob(new Blob([part]), ['md5', 'sha1', 'md5'], { encoding: 'base64', chunkSize }),
        ['md5', 'sha1', 'md5'].map((name) => crypto.createHash(name).update(part).digest('base64')), label);
    }
    const refused = [
      [() => q.hashBlob(data, 'sha1'), { name: 'TypeError', code: 'ERR_INVALID_ARG_TYPE' }],
      [() => q.hashBlob(new Blob([data]), 'sha256'), { message: 'Digest method not supported' }],
      [() => q.hashBlob(new Blob([data]), 'sha1', { chunkSize: 0 }), { name: 'RangeError', code: 'ERR_OUT_OF_RANGE' }],
      [() => q.hashBlob(new Blob([data]), 'sha1', { chunkSize: 1.5 }), { name: 'RangeError', code: 'ERR_OUT_OF_RANGE' }],
      [() => q.hashBlob(new Blob([data]), 'sha1', { onProgress: 1 }), { name: 'TypeError', code: 'ERR_INVALID_ARG_TYPE' }],
      [() => q.hashBlob(new Blob([data]), 'sha1', { signal: AbortSignal.abort(new Error('stop')) }), { message: 'stop' }],
    ];
    for (const [call, error] of refused) await assert.rejects(call, error, label);
    // Aborted midway: rejected with the reason, after the slice it was aborted in.
    const controller = new AbortController();
    let seen = 0;
    await assert.rejects(q.hashBlob(new Blob([data]), 'sha1', {
      chunkSize: 1000, signal: controller.signal,
      onProgress: (done) => { seen = done; if (done === 5000) controller.abort(new Error('aborted')); },
    }), { message: 'aborted' }, label);
    assert.equal(seen, 5000, label);
    // A file that reads short (changed since it was picked) is an error, not a digest.
    const shrunk = { size: 5000, slice: (start, end) => new Blob([data.subarray(start, Math.min(end, 3000))]) };
    await assert.rejects(q.hashBlob(shrunk, 'sha1', { chunkSize: 1000 }), /changed while it was read/, label);
  }
});
