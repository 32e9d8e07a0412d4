// The Node.js package beside node:crypto, in one process: the addon and the
// WebAssembly build, createHash(name).update(data).digest() for sha1 and md5
// at 3 B, 1 KiB and 1 MiB, best of seven rounds, printed as ratios
// (node:crypto's time / the addon's, and the addon's time / the WASM
// build's; above 1 is faster).
//
//   node bench/node_bench.mjs      (after node/scripts/build-addon.mjs and build-wasm.mjs)
import crypto from 'node:crypto';
import { readFileSync } from 'node:fs';

import addon from '../node/index.mjs';
import { makeQuillet } from '../node/lib/core.mjs';
import { nodePlatform } from '../node/lib/node-platform.mjs';
import { wasmBackend } from '../node/lib/wasm-backend.mjs';

if (addon.backend !== 'addon') throw new Error('the addon is not built');
const module = new WebAssembly.Module(readFileSync(new URL('../node/wasm/quillet.wasm', import.meta.url)));
const wasm = makeQuillet(wasmBackend(new WebAssembly.Instance(module, {})), nodePlatform);

function best(call, bytes) {
  const rounds = Math.max(5, Math.min(200000, Math.floor(2e7 / Math.max(bytes, 64))));
  let fastest = Infinity;
  for (let r = 0; r < 7; ++r) {
    const start = process.hrtime.bigint();
    for (let i = 0; i < rounds; ++i) call();
    fastest = Math.min(fastest, Number(process.hrtime.bigint() - start) / rounds);
  }
  return fastest;
}

console.log(`${'digest'.padEnd(8)}${'size'.padStart(9)}  addon vs node:crypto   wasm vs addon`);
for (const name of ['sha1', 'md5']) {
  for (const size of [3, 1024, 1 << 20]) {
    const data = Buffer.alloc(size, 7);
    const node = best(() => crypto.createHash(name).update(data).digest(), size);
    const ours = best(() => addon.createHash(name).update(data).digest(), size);
    const theirs = best(() => wasm.createHash(name).update(data).digest(), size);
    console.log(`${name.padEnd(8)}${String(size).padStart(9)}  ${(node / ours).toFixed(2).padStart(19)}x` +
      `  ${(ours / theirs).toFixed(2).padStart(13)}x`);
  }
}
