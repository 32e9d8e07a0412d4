// The backend over the WebAssembly build (quillet.wasm, built from the
// library's portable engines, or quillet-simd.wasm, the same with SIMD128
// and the many-message kernels): the same functions as the addon's, with the
// caller's bytes copied into the module's memory, a piece at a time through
// one buffer that is wiped after each call, or a batch at a time through
// memory that is wiped before it is freed.
//
// Loading: wasmFileName() names the module this engine should load (the
// SIMD one where it validates SIMD, unless $QUILLET_WASM_SIMD is 0), and
// loadWasm(source) makes the backend from that module's bytes, a Response
// for them (or a promise of one), or a compiled WebAssembly.Module.

const PIECE = 64 * 1024;
// Messages up to this long are copied a byte at a time.
const SHORT = 128;
// The most bytes of messages copied into the module's memory for one
// many-message call; a message longer than this is hashed alone, a piece at
// a time.
const BATCH = 2 * 1024 * 1024;
// and at most this many messages (each costs its table entry and the
// library's view and digest, in memory the module never gives back).
const BATCH_MESSAGES = 4096;

// A module of one function that makes a SIMD128 vector (i32.const 0,
// i8x16.splat): valid where the engine has SIMD128. Every engine that has it
// has bulk memory too, which the SIMD module also uses.
const SIMD_PROBE = new Uint8Array([
  0x00, 0x61, 0x73, 0x6d, 0x01, 0x00, 0x00, 0x00,  // magic, version
  0x01, 0x05, 0x01, 0x60, 0x00, 0x01, 0x7b,  // types: () -> v128
  0x03, 0x02, 0x01, 0x00,  // functions: one of type 0
  0x0a, 0x08, 0x01, 0x06, 0x00, 0x41, 0x00, 0xfd, 0x0f, 0x0b,  // code
]);

// Whether this engine runs SIMD128; $QUILLET_WASM_SIMD=0 (where there is a
// process environment) says no.
export function wasmSimd() {
  const env = typeof process === 'object' && process !== null && process.env ? process.env : {};
  if (env.QUILLET_WASM_SIMD === '0') return false;
  try {
    return WebAssembly.validate(SIMD_PROBE);
  } catch {
    return false;
  }
}

// The file of the module to load, beside quillet.wasm.
export function wasmFileName(simd = wasmSimd()) {
  return simd ? 'quillet-simd.wasm' : 'quillet.wasm';
}

// The backend over the module at `source`: its bytes (an ArrayBuffer or a
// view of one), a Response (or a promise of one, as fetch() returns), or a
// WebAssembly.Module.
export async function loadWasm(source) {
  const resolved = await source;
  let instance;
  if (resolved instanceof WebAssembly.Module) {
    instance = await WebAssembly.instantiate(resolved, {});
  } else if (typeof Response === 'function' && resolved instanceof Response) {
    if (!resolved.ok) throw new Error(`quillet: the WebAssembly module could not be fetched (${resolved.status})`);
    // Streaming compilation needs the server's application/wasm; elsewhere
    // the bytes are read first.
    const streaming = typeof WebAssembly.instantiateStreaming === 'function' &&
      /^application\/wasm\b/.test(resolved.headers.get('content-type') || '');
    instance = streaming ? (await WebAssembly.instantiateStreaming(resolved, {})).instance
      : (await WebAssembly.instantiate(await resolved.arrayBuffer(), {})).instance;
  } else {
    instance = (await WebAssembly.instantiate(resolved, {})).instance;
  }
  return wasmBackend(instance);
}

export function wasmBackend(instance) {
  const e = instance.exports;
  e._initialize();
  const scratch = e.q_alloc(PIECE) >>> 0;
  const out = e.q_alloc(64) >>> 0;
  if (scratch === 0 || out === 0) throw new RangeError('quillet: out of WebAssembly memory');
  const outOfMemory = () => new RangeError('quillet: out of WebAssembly memory');
  // The memory's buffer is detached (of length 0) when it grows: a new view
  // is made then.
  let view = new Uint8Array(e.memory.buffer);
  const heap = () => (view.byteLength !== 0 ? view : (view = new Uint8Array(e.memory.buffer)));

  function newHasher(algorithm) {
    const handle = e.q_hasher_new(algorithm) >>> 0;
    if (handle === 0) throw outOfMemory();
    return handle;
  }
  function update(handle, bytes) {
    for (let at = 0; at < bytes.length; at += PIECE) {
      const piece = bytes.subarray(at, at + PIECE);
      heap().set(piece, scratch);
      e.q_hasher_update(handle, scratch, piece.length);
    }
    heap().fill(0, scratch, scratch + Math.min(bytes.length, PIECE));
  }
  // The result in `out` of the module's memory, to `result`; then wiped.
  // (A digest's few bytes go faster one by one than through set() and
  // fill(), as do a short message's below.)
  function deliver(result) {
    const memory = heap();
    for (let i = 0; i < result.length; ++i) {
      result[i] = memory[out + i];
      memory[out + i] = 0;
    }
  }
  function finish(handle, result) {
    e.q_hasher_finish(handle, out);
    deliver(result);
  }
  const release = (handle) => e.q_hasher_delete(handle);

  // The digest of `bytes` into `result` (upper-case hexadecimal text where
  // `hex`): one call where the bytes fit the buffer, else a hasher.
  function digest(algorithm, bytes, result, hex) {
    // q_digest wipes its copy of the message.
    const size = bytes.length;
    if (size <= PIECE) {
      if (size <= SHORT) {
        const memory = heap();
        for (let i = 0; i < size; ++i) memory[scratch + i] = bytes[i];
      } else {
        heap().set(bytes, scratch);
      }
      e.q_digest(algorithm, scratch, size, out, hex ? 1 : 0);
      deliver(result);
      return;
    }
    const handle = newHasher(algorithm);
    update(handle, bytes);
    const raw = hex ? new Uint8Array(result.length / 2) : result;
    finish(handle, raw);
    release(handle);
    if (!hex) return;
    const digits = '0123456789ABCDEF';
    raw.forEach((b, i) => {
      result[2 * i] = digits.charCodeAt(b >> 4);
      result[2 * i + 1] = digits.charCodeAt(b & 15);
    });
    raw.fill(0);
  }

  // Messages from..to of `list` (at most BATCH bytes and BATCH_MESSAGES
  // messages) in one call: the table of their places, their digests and
  // their bytes in one block of the module's memory, which q_free wipes.
  // The table is written little-endian, as WebAssembly reads its memory
  // whatever the host's byte order.
  function many(algorithm, list, from, to, bytes, size, result) {
    const count = to - from;
    const length = 8 * count + size * count + bytes;
    const block = e.q_alloc(Math.max(length, 1)) >>> 0;
    if (block === 0) throw outOfMemory();
    try {
      const memory = heap();
      const table = new DataView(memory.buffer, block, 8 * count);
      const digests = block + 8 * count;
      let at = digests + size * count;
      for (let i = from; i < to; ++i) {
        const message = list[i];
        memory.set(message, at);
        table.setUint32(8 * (i - from), at, true);
        table.setUint32(8 * (i - from) + 4, message.length, true);
        at += message.length;
      }
      if (e.q_digest_many(algorithm, block, count, digests) === 0) throw outOfMemory();
      result.set(heap().subarray(digests, digests + size * count), from * size);
    } finally {
      e.q_free(block, length);
    }
  }

  return {
    newHasher,
    update,
    finish,
    copy(handle) {
      const copy = e.q_hasher_copy(handle) >>> 0;
      if (copy === 0) throw outOfMemory();
      return copy;
    },
    release,
    digest: (algorithm, bytes, result) => digest(algorithm, bytes, result, false),
    // The exports' results are their digests' hashers' (MD5 as upper-case
    // hexadecimal text).
    exportDigest: (which, bytes, result) => digest(which, bytes, result, which === 3),
    // Message i's digest to result[i * size ...], size = result.length / list.length.
    digestMany(algorithm, list, result) {
      if (list.length === 0) return;
      const size = result.length / list.length;
      for (let from = 0; from < list.length;) {
        if (list[from].length > BATCH) {
          digest(algorithm, list[from], result.subarray(from * size, (from + 1) * size), false);
          ++from;
          continue;
        }
        let to = from;
        let bytes = 0;
        while (to < list.length && to - from < BATCH_MESSAGES && bytes + list[to].length <= BATCH) {
          bytes += list[to++].length;
        }
        many(algorithm, list, from, to, bytes, size, result);
        from = to;
      }
    },
    doubleHash(password, first, second, result) {
      const size = Math.max(password.length, 1);
      const at = e.q_alloc(size) >>> 0;
      if (at === 0) throw outOfMemory();
      heap().set(password, at);
      e.q_double_hash(at, password.length, first, second, out);
      e.q_free(at, size);  // wiped, then freed
      deliver(result);
    },
  };
}
