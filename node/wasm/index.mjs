// quillet for browsers and bundlers: the WebAssembly build with the same
// interface as the Node.js package, digests as Uint8Arrays. No Node.js
// built-ins; the module is fetched beside this file: quillet-simd.wasm where
// the engine validates SIMD128, quillet.wasm elsewhere. (Node.js takes
// wasm/node.mjs instead, through package.json's "node" condition.)
//
// Importing the module loads quillet.wasm (a top-level await: once the
// import is done, everything is synchronous). A load that fails does not
// fail the import: createHash() and the rest then throw, saying why, and
// `await init(source)` loads the module from elsewhere (a URL, a Response,
// bytes or a compiled WebAssembly.Module), for bundlers and pages whose
// Content-Security-Policy or server puts it somewhere else.
import { makeQuillet } from '../lib/core.mjs';
import { browserPlatform } from '../lib/browser-platform.mjs';
import { makeHashBlob } from '../lib/blob.mjs';
import { wasmBackend, wasmFileName } from '../lib/wasm-backend.mjs';

const DEFAULT_SOURCE = new URL(`./${wasmFileName()}`, import.meta.url);
const SCALAR_SOURCE = new URL('./quillet.wasm', import.meta.url);

// The default module, or the scalar one where the SIMD one cannot be had
// (a deployment that copied quillet.wasm alone); the first failure is the
// one told.
function instantiateDefault() {
  if (DEFAULT_SOURCE.href === SCALAR_SOURCE.href) return instantiate(DEFAULT_SOURCE);
  return instantiate(DEFAULT_SOURCE).catch((error) => instantiate(SCALAR_SOURCE).catch(() => { throw error; }));
}

// performance.measure() entries a page (or DevTools) can read: fetch and
// compile, streamed together where the server says application/wasm, and
// instantiate.
function measure(name, start) {
  try {
    performance.measure(name, { start });
  } catch { /* no User Timing here */ }
}

const now = () => (typeof performance === 'object' ? performance.now() : Date.now());

// Why a module could not be compiled, in words a page can show.
function explain(error) {
  const text = String(error && error.message);
  if (/Content Security Policy|wasm-eval|wasm-unsafe-eval/i.test(text)) {
    return `the page's Content-Security-Policy refuses WebAssembly (its script-src needs 'wasm-unsafe-eval'): ${text}`;
  }
  return text;
}

async function compile(source) {
  if (source instanceof WebAssembly.Module) return source;
  // A URL is fetched; a Response may come as a promise of one, as fetch() gives it.
  const response = typeof source === 'string' || source instanceof URL
    ? await fetch(source).catch((error) => { throw new Error(`${source}: ${error.message}`, { cause: error }); })
    : await source;
  if (typeof Response === 'function' && response instanceof Response) {
    if (!response.ok) throw new Error(`${response.url || String(source)}: HTTP ${response.status}`);
    const type = (response.headers.get('Content-Type') || '').split(';')[0].trim().toLowerCase();
    // Streamed compiling wants the server's application/wasm; from another
    // type the bytes are read first.
    if (type === 'application/wasm' && typeof WebAssembly.compileStreaming === 'function') {
      return WebAssembly.compileStreaming(response);
    }
    return WebAssembly.compile(await response.arrayBuffer());
  }
  if (response instanceof ArrayBuffer || ArrayBuffer.isView(response)) return WebAssembly.compile(response);
  throw new TypeError('quillet/wasm: init() takes a URL, a Response, an ArrayBuffer, a typed array ' +
    'or a WebAssembly.Module');
}

// The one place the module is made: source to instance.
async function instantiate(source) {
  const started = now();
  const module = await compile(source);
  measure('quillet:compile', started);
  const instantiated = now();
  const instance = await WebAssembly.instantiate(module, {});
  measure('quillet:instantiate', instantiated);
  return instance;
}

let quillet = null;
let loading = null;
let failure = null;

export let Hash;

// Loads the module once: later calls return the same promise, which
// resolves to the default export. A load that failed is not kept: the next
// call tries again, from its own source where it gives one.
export function init(source) {
  if (loading) return loading;
  loading = (source == null ? instantiateDefault() : instantiate(source)).then((instance) => {
    quillet = makeQuillet(wasmBackend(instance), browserPlatform);
    Hash = quillet.Hash;
    failure = null;
    return api;
  }, (cause) => {
    loading = null;
    failure = new Error(`quillet/wasm: the WebAssembly module could not be loaded: ${explain(cause)}`,
      { cause });
    throw failure;
  });
  return loading;
}

function ready() {
  if (quillet) return quillet;
  if (failure) {
    throw new Error(`${failure.message} (call await init() again, or init(source) with the module)`,
      { cause: failure.cause });
  }
  throw new Error('quillet/wasm: the WebAssembly module is not loaded yet: call await init() first');
}

export const backend = 'wasm';
export function createHash(algorithm, options) { return ready().createHash(algorithm, options); }
export function hash(algorithm, data, outputEncoding) { return ready().hash(algorithm, data, outputEncoding); }
export function digestMany(algorithm, buffers) { return ready().digestMany(algorithm, buffers); }
export function getHashes() { return ready().getHashes(); }
export function StandardSHA(data) { return ready().StandardSHA(data); }
export function BrokenSHA(data) { return ready().BrokenSHA(data); }
export function LockdownSHA(data) { return ready().LockdownSHA(data); }
export function MD5(data) { return ready().MD5(data); }
export function DoubleHashPassword(password, firstToken, secondToken) {
  return ready().DoubleHashPassword(password, firstToken, secondToken);
}
export const hashBlob = makeHashBlob(createHash);

const api = {
  createHash, hash, digestMany, getHashes, StandardSHA, BrokenSHA, LockdownSHA, MD5, DoubleHashPassword,
  hashBlob, init, backend,
  get Hash() { return ready().Hash; },
};
export default api;

// The module is there once the import is: a failure waits for init().
await init().catch(() => {});
