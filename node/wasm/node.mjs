// quillet/wasm in Node.js (package.json's "node" condition): the module of
// wasm/index.mjs, with the same interface and results (digests as
// Uint8Arrays), quillet.wasm read from the file beside this one, as Node.js's
// fetch takes no file: URLs; and hashes are streams, as in the Node.js package.
// The module is loaded as this one is imported: init(), there for code
// written for browsers, resolves at once (to the default export).
import { readFile } from 'node:fs/promises';
import { Transform } from 'node:stream';

import { makeQuillet } from '../lib/core.mjs';
import { browserPlatform } from '../lib/browser-platform.mjs';
import { makeHashBlob } from '../lib/blob.mjs';
import { loadWasm, wasmFileName } from '../lib/wasm-backend.mjs';

// The SIMD module where the engine runs it (and it is there), else the
// scalar one. Where neither was built (an install from the source tree
// without clang's wasm32 target), the error says so and what to run.
const read = (name) => readFile(new URL(`./${name}`, import.meta.url));
const bytes = await read(wasmFileName()).catch((cause) => {
  if (cause.code === 'ENOENT' && wasmFileName() !== 'quillet.wasm') return read('quillet.wasm');
  throw cause;
}).catch((cause) => {
  if (cause.code !== 'ENOENT') throw cause;
  throw new Error('quillet/wasm: the WebAssembly build (wasm/quillet.wasm) is not there: npm pack builds it, ' +
    'and so does "node scripts/build-wasm.mjs" in the package (with clang and wasi-libc)', { cause });
});
const quillet = makeQuillet(await loadWasm(bytes), { ...browserPlatform, Transform });

export const backend = 'wasm';
export const {
  createHash, hash, digestMany, getHashes, Hash, StandardSHA, BrokenSHA, LockdownSHA, MD5, DoubleHashPassword,
} = quillet;
export const hashBlob = makeHashBlob(quillet.createHash);
const api = { ...quillet, hashBlob, backend };
const loaded = Promise.resolve(api);
export function init() { return loaded; }
api.init = init;
export default api;
