// quillet for browsers and bundlers: the WebAssembly build with the same
// interface as the Node.js package, digests as Uint8Arrays. No Node.js
// built-ins; quillet.wasm is fetched beside this file. (Node.js takes
// wasm/node.mjs instead, through package.json's "node" condition.)
import { makeQuillet } from '../lib/core.mjs';
import { browserPlatform } from '../lib/browser-platform.mjs';
import { wasmBackend } from '../lib/wasm-backend.mjs';

const source = fetch(new URL('./quillet.wasm', import.meta.url));
const { instance } = typeof WebAssembly.instantiateStreaming === 'function'
  ? await WebAssembly.instantiateStreaming(source, {})
  : await WebAssembly.instantiate(await (await source).arrayBuffer(), {});
const quillet = makeQuillet(wasmBackend(instance), browserPlatform);

export const backend = 'wasm';
export const {
  createHash, hash, getHashes, Hash, StandardSHA, BrokenSHA, LockdownSHA, MD5, DoubleHashPassword,
} = quillet;
export default { ...quillet, backend };
