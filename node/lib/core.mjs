// The package's interface, written once over a backend (the addon, or the
// WebAssembly build) and a platform (Node.js's Buffer, or the browser's
// Uint8Array): createHash() with node:crypto's Hash behaviour, getHashes(),
// and the exports' exact results under their own names. Arguments are
// checked here, with Node.js's kinds of error (a TypeError or RangeError with
// a code); the backend is given only Uint8Arrays, algorithm numbers and
// unsigned 32-bit tokens.
//
// backend: newHasher(algorithm) -> handle, update(handle, bytes),
//   finish(handle, out), copy(handle) -> handle, exportDigest(which, bytes,
//   out), doubleHash(bytes, first, second, out), where `out` is a Uint8Array
//   of the result's size that the call fills; and release(handle), for a
//   backend whose handles are not released by the garbage collector itself.
// platform: fromString(string, encoding) -> Uint8Array, allocate(size) -> a
//   Uint8Array (what results are returned in: a Buffer on Node.js),
//   encode(bytes, encoding) -> string, or undefined for an encoding it does
//   not know (the digest is then returned as bytes, as Node.js does).

// The order of quillet::Algorithms(), and their digests' sizes (the API
// tests check both against the library's table).
const HASHES = ['sha1', 'broken_sha', 'lockdown_sha', 'md5'];
const SIZES = [20, 20, 20, 16];

function codedError(Kind, code, message) {
  const error = new Kind(message);
  error.code = code;
  return error;
}

function describe(value) {
  if (value === null) return 'Received null';
  if (value === undefined) return 'Received undefined';
  if (typeof value === 'function') return `Received function ${value.name || '<anonymous>'}`;
  if (typeof value === 'object') {
    const name = value.constructor && value.constructor.name;
    return name ? `Received an instance of ${name}` : 'Received an object';
  }
  let shown = String(value);
  if (shown.length > 25) shown = `${shown.slice(0, 25)}...`;
  if (typeof value === 'string') shown = `'${shown}'`;
  return `Received type ${typeof value} (${shown})`;
}

export function makeQuillet(backend, platform) {
  const finished = () =>
    codedError(Error, 'ERR_CRYPTO_HASH_FINALIZED', 'Digest already called');

  // The bytes of `data`: a string in `encoding` (utf8 by default, and for
  // an encoding that is not a string, as node:crypto reads them), or any
  // view of memory, or an ArrayBuffer.
  function bytesOf(data, encoding, name) {
    if (typeof data === 'string') {
      const as = typeof encoding === 'string' ? encoding : 'utf8';
      if (as.toLowerCase() === 'hex' && data.length % 2 !== 0) {
        throw codedError(TypeError, 'ERR_INVALID_ARG_VALUE',
          `The argument 'encoding' is invalid for data of length ${data.length}. Received 'hex'`);
      }
      return platform.fromString(data, as);
    }
    if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    if (data instanceof ArrayBuffer ||
        (typeof SharedArrayBuffer !== 'undefined' && data instanceof SharedArrayBuffer)) {
      return new Uint8Array(data);
    }
    throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
      `The "${name}" argument must be of type string or an instance of Buffer, TypedArray, ` +
      `DataView, or ArrayBuffer. ${describe(data)}`);
  }

  function algorithmOf(name) {
    if (typeof name !== 'string') {
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
        `The "algorithm" argument must be of type string. ${describe(name)}`);
    }
    const index = HASHES.indexOf(name.toLowerCase());
    if (index < 0) throw new Error('Digest method not supported');
    return index;
  }

  // A hasher not digested is released when it is collected (the addon's
  // hashers are released with their handles, and need no registry).
  const registry = backend.release && typeof FinalizationRegistry === 'function'
    ? new FinalizationRegistry((handle) => backend.release(handle)) : null;

  class Hash {
    #algorithm;
    #handle;

    // Made by createHash() and copy() only.
    constructor(algorithm, handle, secret) {
      if (secret !== Hash.#secret) throw new TypeError('Use quillet.createHash()');
      this.#algorithm = algorithm;
      this.#handle = handle;
      if (registry) registry.register(this, handle, this);
    }

    static #secret = {};
    static make(algorithm, handle) { return new Hash(algorithm, handle, Hash.#secret); }

    update(data, inputEncoding) {
      if (this.#handle === null) throw finished();
      backend.update(this.#handle, bytesOf(data, inputEncoding, 'data'));
      return this;
    }

    // The encoding is read first, as node:crypto reads it (a template
    // string: a Symbol, or an object whose toString throws, throws here), so
    // that a digest() that throws leaves the hash as it was.
    digest(outputEncoding) {
      if (this.#handle === null) throw finished();
      const encoding = outputEncoding ? `${outputEncoding}` : 'buffer';
      const digest = platform.allocate(SIZES[this.#algorithm]);
      backend.finish(this.#handle, digest);
      if (registry) {
        registry.unregister(this);
        backend.release(this.#handle);
      }
      this.#handle = null;
      if (encoding === 'buffer') return digest;
      const text = platform.encode(digest, encoding);
      return text === undefined ? digest : text;
    }

    copy() {
      if (this.#handle === null) throw finished();
      return Hash.make(this.#algorithm, backend.copy(this.#handle));
    }
  }

  function createHash(algorithm) {
    const index = algorithmOf(algorithm);
    return Hash.make(index, backend.newHasher(index));
  }

  // A token: an integer from -2**31 to 2**32-1, as unsigned 32 bits.
  function token(value, name) {
    if (typeof value !== 'number') {
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
        `The "${name}" argument must be of type number. ${describe(value)}`);
    }
    if (!Number.isInteger(value) || value < -(2 ** 31) || value > 2 ** 32 - 1) {
      throw codedError(RangeError, 'ERR_OUT_OF_RANGE',
        `The value of "${name}" is out of range. It must be an integer >= -2147483648 and ` +
        `<= 4294967295. Received ${value}`);
    }
    return value >>> 0;
  }

  function exported(which, data) {
    const result = platform.allocate(which === 3 ? 32 : 20);
    backend.exportDigest(which, bytesOf(data, undefined, 'data'), result);
    return result;
  }

  return {
    createHash,
    getHashes: () => HASHES.slice(),
    Hash,
    StandardSHA: (data) => exported(0, data),
    BrokenSHA: (data) => exported(1, data),
    LockdownSHA: (data) => exported(2, data),
    // The export's 32 characters of upper-case hexadecimal text.
    MD5: (data) => String.fromCharCode(...exported(3, data)),
    DoubleHashPassword(password, firstToken, secondToken) {
      const proof = platform.allocate(20);
      backend.doubleHash(bytesOf(password, undefined, 'password'),
        token(firstToken, 'firstToken'), token(secondToken, 'secondToken'), proof);
      return proof;
    },
  };
}
