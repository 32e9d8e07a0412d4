// The backend over the WebAssembly build (quillet.wasm, built from the
// library's portable engines): the same functions as the addon's, with the
// caller's bytes copied into the module's memory a piece at a time through
// one buffer, which is wiped after each call.

const PIECE = 64 * 1024;

export function wasmBackend(instance) {
  const e = instance.exports;
  e._initialize();
  const scratch = e.q_alloc(PIECE) >>> 0;
  const out = e.q_alloc(32) >>> 0;
  if (scratch === 0 || out === 0) throw new RangeError('quillet: out of WebAssembly memory');
  // The memory's buffer changes when it grows: asked anew each time.
  const heap = () => new Uint8Array(e.memory.buffer);

  function newHasher(algorithm) {
    const handle = e.q_hasher_new(algorithm) >>> 0;
    if (handle === 0) throw new RangeError('quillet: out of WebAssembly memory');
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
  function deliver(result) {
    result.set(heap().subarray(out, out + result.length));
    heap().fill(0, out, out + result.length);
  }
  function finish(handle, result) {
    e.q_hasher_finish(handle, out);
    deliver(result);
  }
  const release = (handle) => e.q_hasher_delete(handle);

  return {
    newHasher,
    update,
    finish,
    copy(handle) {
      const copy = e.q_hasher_copy(handle) >>> 0;
      if (copy === 0) throw new RangeError('quillet: out of WebAssembly memory');
      return copy;
    },
    release,
    // The exports' results are their digests' hashers' (MD5 as upper-case
    // hexadecimal text).
    exportDigest(which, bytes, result) {
      const handle = newHasher(which);
      update(handle, bytes);
      const digest = which === 3 ? new Uint8Array(16) : result;
      finish(handle, digest);
      release(handle);
      if (which !== 3) return;
      const hex = '0123456789ABCDEF';
      digest.forEach((b, i) => {
        result[2 * i] = hex.charCodeAt(b >> 4);
        result[2 * i + 1] = hex.charCodeAt(b & 15);
      });
    },
    doubleHash(password, first, second, result) {
      const size = Math.max(password.length, 1);
      const at = e.q_alloc(size) >>> 0;
      if (at === 0) throw new RangeError('quillet: out of WebAssembly memory');
      heap().set(password, at);
      e.q_double_hash(at, password.length, first, second, out);
      e.q_free(at, size);  // wiped, then freed
      deliver(result);
    },
  };
}
