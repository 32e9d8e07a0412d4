// quillet for Node.js: the native addon (build/quillet.node, built on
// install) where it loads, the WebAssembly build otherwise, or where
// QUILLET_BACKEND=wasm asks for it. `backend` tells which.
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';

import { makeQuillet } from './lib/core.mjs';
import { nodePlatform } from './lib/node-platform.mjs';
import { wasmBackend, wasmFileName } from './lib/wasm-backend.mjs';

function addonBackend() {
  // The addon's hashers are released with their handles.
  return createRequire(import.meta.url)('./build/quillet.node');
}

// Where neither backend is there (an install from the source tree that
// could build neither), the error says so and what to run.
function loadWasm(addonError) {
  let bytes;
  try {
    // The SIMD module where the engine runs it (and it is there), else the
    // scalar one.
    const read = (name) => readFileSync(new URL(`./wasm/${name}`, import.meta.url));
    try {
      bytes = read(wasmFileName());
    } catch (cause) {
      if (cause.code !== 'ENOENT' || wasmFileName() === 'quillet.wasm') throw cause;
      bytes = read('quillet.wasm');
    }
  } catch (cause) {
    if (cause.code !== 'ENOENT') throw cause;
    const addon = addonError ? `the native addon could not be loaded (${addonError.message.split('\n')[0]}) and ` : '';
    throw new Error(`quillet: ${addon}the WebAssembly build (wasm/quillet.wasm) is not there: ` +
      'with a C++ compiler installed, run "npm rebuild quillet" (see its output with --foreground-scripts)',
    { cause });
  }
  return wasmBackend(new WebAssembly.Instance(new WebAssembly.Module(bytes), {}));
}

let chosen = process.env.QUILLET_BACKEND === 'wasm' ? 'wasm' : 'addon';
let engine;
let addonError;
if (chosen === 'addon') {
  try {
    engine = addonBackend();
  } catch (error) {
    addonError = error;
    chosen = 'wasm';
  }
}
if (chosen === 'wasm') engine = loadWasm(addonError);

const quillet = makeQuillet(engine, nodePlatform);
export const backend = chosen;
export const {
  createHash, hash, digestMany, getHashes, Hash, StandardSHA, BrokenSHA, LockdownSHA, MD5, DoubleHashPassword,
} = quillet;
export default { ...quillet, backend };
