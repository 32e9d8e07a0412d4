// quillet for Node.js: the native addon (build/quillet.node, built on
// install) where it loads, the WebAssembly build otherwise, or where
// QUILLET_BACKEND=wasm asks for it. `backend` tells which.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';

import { makeQuillet } from './lib/core.mjs';
import { nodePlatform } from './lib/node-platform.mjs';
import { wasmBackend } from './lib/wasm-backend.mjs';

function addonBackend() {
  // The addon's hashers are released with their handles.
  return createRequire(import.meta.url)('./build/quillet.node');
}

function loadWasm() {
  const module = new WebAssembly.Module(readFileSync(new URL('./wasm/quillet.wasm', import.meta.url)));
  return wasmBackend(new WebAssembly.Instance(module, {}));
}

let chosen = process.env.QUILLET_BACKEND === 'wasm' ? 'wasm' : 'addon';
let engine;
if (chosen === 'addon') {
  try {
    engine = addonBackend();
  } catch {
    chosen = 'wasm';
  }
}
if (chosen === 'wasm') engine = loadWasm();

const quillet = makeQuillet(engine, nodePlatform);
export const backend = chosen;
export const {
  createHash, getHashes, Hash, StandardSHA, BrokenSHA, LockdownSHA, MD5, DoubleHashPassword,
} = quillet;
export default { ...quillet, backend };
