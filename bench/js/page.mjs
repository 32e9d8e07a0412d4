// bench/wasm_bench.mjs's half in the browser: quillet/wasm (the module
// wasmFileName() picks), the scalar module, hash-wasm and Web Crypto, posted
// to the server that served this page.
import { run } from './cases.mjs';
import * as hashWasm from './node_modules/hash-wasm/dist/index.esm.js';
import { makeQuillet } from '../../node/lib/core.mjs';
import { browserPlatform } from '../../node/lib/browser-platform.mjs';
import { loadWasm, wasmFileName } from '../../node/lib/wasm-backend.mjs';

const post = (path, value) => fetch(path, { method: 'POST', body: JSON.stringify(value) });
const load = async (file) =>
  makeQuillet(await loadWasm(fetch(new URL(`../../node/wasm/${file}`, import.meta.url))), browserPlatform);
const ours = (label, q) => ({
  label, digest: (name, bytes) => q.hash(name, bytes), many: (name, list) => q.digestMany(name, list),
});

try {
  const rounds = Number(new URLSearchParams(location.search).get('rounds') || 9);
  const hashers = { sha1: await hashWasm.createSHA1(), md5: await hashWasm.createMD5() };
  const contenders = [
    ours('quillet/wasm', await load(wasmFileName())),
    {
      label: 'hash-wasm',
      digest: (name, bytes) => hashers[name].init().update(bytes).digest(),
      many: (name, list) => list.map((m) => hashers[name].init().update(m).digest('binary')),
    },
    ours('wasm scalar', await load('quillet.wasm')),
    {
      label: 'Web Crypto', names: ['sha1'], async: true,
      digest: async (name, bytes) => new Uint8Array(await crypto.subtle.digest('SHA-1', bytes)),
    },
  ];
  const rows = await run(contenders, { rounds, log: (row) => post('/progress', row) });
  await post('/result', { userAgent: navigator.userAgent, module: wasmFileName(), rows });
} catch (error) {
  await post('/result', { error: String(error && error.stack || error) });
}
