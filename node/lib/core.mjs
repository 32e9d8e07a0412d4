// The package's interface, written once over a backend (the addon, or the
// WebAssembly build) and a platform (Node.js's Buffer, or the browser's
// Uint8Array): createHash() with node:crypto's Hash behaviour, getHashes(),
// and the exports' exact results under their own names. Arguments are
// checked here, with Node.js's kinds of error (a TypeError or RangeError with
// a code); the backend is given only Uint8Arrays, algorithm numbers and
// unsigned 32-bit tokens.
//
// backend: newHasher(algorithm) -> handle, update(handle, bytes),
//   finish(handle, out), copy(handle) -> handle, digest(algorithm, bytes,
//   out) (a hasher's digest in one call), exportDigest(which, bytes, out),
//   doubleHash(bytes, first, second, out), where `out` is a Uint8Array of
//   the result's size that the call fills; digestMany(algorithm, list, out),
//   the digest of each Uint8Array of `list` into `out`, one after the other;
//   and release(handle), for a backend whose handles are not released by the
//   garbage collector itself.
// platform: fromString(string, encoding) -> Uint8Array, allocate(size) -> a
//   Uint8Array (what results are returned in: a Buffer on Node.js),
//   encode(bytes, encoding) -> string, or undefined for an encoding it does
//   not know (the digest is then returned as bytes, as Node.js does); and
//   Transform, where the platform has streams (node:stream's), for Hash to
//   be one as node:crypto's is.

// The order of quillet::Algorithms(), and their digests' sizes (the API
// tests check both against the library's table).
const HASHES = ['sha1', 'broken_sha', 'lockdown_sha', 'md5'];
const SIZES = [20, 20, 20, 16];

// Lower-case hexadecimal text, a table lookup a byte: faster than the
// platforms' encoders for a digest's few bytes.
const PAIRS = Array.from({ length: 256 }, (_, b) => b.toString(16).padStart(2, '0'));
function hexText(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; ++i) text += PAIRS[bytes[i]];
  return text;
}

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
  let shown = typeof value === 'bigint' ? `${value}n` : String(value);
  if (shown.length > 25) shown = `${shown.slice(0, 25)}...`;
  if (typeof value === 'string') shown = `'${shown}'`;
  return `Received type ${typeof value} (${shown})`;
}

// A Transform whose stream state is made only when something of the stream
// is first touched (its events, or its readable or writable side), so that
// a hash used only through update() and digest() costs no more than a plain
// object. Every instance holds its stream options under `STREAM`.
const STREAM = Symbol('quillet.streamOptions');
const STATE = ['_events', '_eventsCount', '_maxListeners', '_readableState', '_writableState', 'allowHalfOpen'];

function lazyStream(Transform) {
  function LazyStream() {}
  Object.setPrototypeOf(LazyStream, Transform);
  LazyStream.prototype = Object.create(Transform.prototype, {
    constructor: { value: LazyStream, writable: true, configurable: true },
  });
  const own = (object, key, value) =>
    Object.defineProperty(object, key, { value, writable: true, configurable: true, enumerable: true });
  for (const key of STATE) {
    Object.defineProperty(LazyStream.prototype, key, {
      configurable: true,
      get() {
        // Read on a prototype (as EventEmitter does): nothing there.
        if (!Object.hasOwn(this, STREAM)) return undefined;
        for (const name of STATE) own(this, name, undefined);
        Transform.call(this, this[STREAM]);
        return this[key];
      },
      set(value) { own(this, key, value); },
    });
  }
  return LazyStream;
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
    // Memory handed to another thread (transferred: detached) has no bytes
    // any more; it is refused rather than hashed as nothing.
    try {
      // A Uint8Array (or a Buffer) is read as it is, but for an empty one,
      // which may be a view of detached memory; another view through a
      // Uint8Array over its bytes.
      if (data instanceof Uint8Array && data.byteLength !== 0) return data;
      if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
      if (data instanceof ArrayBuffer ||
          (typeof SharedArrayBuffer !== 'undefined' && data instanceof SharedArrayBuffer)) {
        return new Uint8Array(data);
      }
    } catch (error) {
      if (!isDetached(ArrayBuffer.isView(data) ? data.buffer : data)) throw error;
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
        `The "${name}" argument's ArrayBuffer is detached (transferred): it has no bytes. ${describe(data)}`);
    }
    throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
      `The "${name}" argument must be of type string or an instance of Buffer, TypedArray, ` +
      `DataView, or ArrayBuffer. ${describe(data)}`);
  }

  // A detached ArrayBuffer has no bytes, and no view of it can be made.
  function isDetached(buffer) {
    if (buffer.byteLength !== 0) return false;
    if (typeof buffer.detached === 'boolean') return buffer.detached;
    try {
      new Uint8Array(buffer);  // eslint-disable-line no-new
      return false;
    } catch {
      return true;
    }
  }

  function checkName(name) {
    if (typeof name !== 'string') {
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
        `The "algorithm" argument must be of type string. ${describe(name)}`);
    }
  }

  function algorithmOf(name) {
    checkName(name);
    const index = HASHES.indexOf(name.toLowerCase());
    if (index < 0) throw new Error('Digest method not supported');
    return index;
  }

  // options.outputLength, as node:crypto checks it: a 32-bit unsigned
  // integer, and for these digests of fixed size, that size only. The
  // algorithm's number is asked for only when there is a length to check.
  function checkOutputLength(options, algorithm) {
    const length = options !== null && typeof options === 'object' ? options.outputLength : undefined;
    if (length === undefined) return;
    if (typeof length !== 'number') {
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
        `The "options.outputLength" property must be of type number. ${describe(length)}`);
    }
    const range = !Number.isInteger(length) ? 'an integer'
      : length < 0 || length > 2 ** 32 - 1 ? '>= 0 && <= 4294967295' : null;
    if (range) {
      throw codedError(RangeError, 'ERR_OUT_OF_RANGE',
        `The value of "options.outputLength" is out of range. It must be ${range}. Received ${length}`);
    }
    if (length !== SIZES[algorithm()]) {
      const error = codedError(Error, 'ERR_OSSL_EVP_NOT_XOF_OR_INVALID_LENGTH',
        'error:030000B2:digital envelope routines::not XOF or invalid length');
      error.library = 'digital envelope routines';
      error.reason = 'not XOF or invalid length';
      throw error;
    }
  }

  // A hasher not digested is released when it is collected (the addon's
  // hashers are released with their handles, and need no registry).
  const registry = backend.release && typeof FinalizationRegistry === 'function'
    ? new FinalizationRegistry((handle) => backend.release(handle)) : null;

  // On Node.js a Hash is a stream.Transform, as node:crypto's is: what is
  // written to it is hashed, and at its end it gives the digest to read.
  const Base = platform.Transform ? lazyStream(platform.Transform) : class {};

  class Hash extends Base {
    #algorithm;
    #handle;
    // The digest the stream gave at its end, for one digest() after it, as
    // node:crypto gives it (`await pipeline(source, hash); hash.digest()`).
    #streamed = null;

    // Made by createHash() and copy() only.
    constructor(algorithm, handle, options, secret) {
      super();
      if (secret !== Hash.#secret) throw new TypeError('Use quillet.createHash()');
      this.#algorithm = algorithm;
      this.#handle = handle;
      if (platform.Transform) this[STREAM] = options !== null && typeof options === 'object' ? options : undefined;
      if (registry) registry.register(this, handle, this);
    }

    static #secret = {};
    static make(algorithm, handle, options) { return new Hash(algorithm, handle, options, Hash.#secret); }

    update(data, inputEncoding) {
      if (this.#handle === null) throw finished();
      backend.update(this.#handle, bytesOf(data, inputEncoding, 'data'));
      return this;
    }

    // The encoding is read first, as node:crypto reads it (a template
    // string: a Symbol, or an object whose toString throws, throws here), so
    // that a digest() that throws leaves the hash as it was.
    digest(outputEncoding) {
      if (this.#handle === null && this.#streamed === null) throw finished();
      const encoding = outputEncoding ? `${outputEncoding}` : 'buffer';
      const digest = platform.allocate(SIZES[this.#algorithm]);
      if (this.#handle === null) {
        digest.set(this.#streamed);
        this.#streamed = null;
      } else {
        backend.finish(this.#handle, digest);
        if (registry) {
          registry.unregister(this);
          backend.release(this.#handle);
        }
        this.#handle = null;
      }
      if (encoding === 'buffer') return digest;
      if (encoding === 'hex') return hexText(digest);
      const text = platform.encode(digest, encoding);
      return text === undefined ? digest : text;
    }

    copy(options) {
      if (this.#handle === null) throw finished();
      checkOutputLength(options, () => this.#algorithm);
      return Hash.make(this.#algorithm, backend.copy(this.#handle), options);
    }

    // The stream's side: each chunk written is an update(), and the end
    // gives the digest (an error, where the hash was digested already).
    _transform(chunk, encoding, callback) {
      try {
        this.update(chunk, encoding);
      } catch (error) {
        callback(error);
        return;
      }
      callback();
    }

    _flush(callback) {
      let digest;
      try {
        digest = this.digest();
      } catch (error) {
        callback(error);
        return;
      }
      this.#streamed = digest;
      this.push(digest);
      callback();
    }
  }

  function createHash(algorithm, options) {
    checkName(algorithm);
    if (options !== undefined) checkOutputLength(options, () => algorithmOf(algorithm));
    const index = algorithmOf(algorithm);
    return Hash.make(index, backend.newHasher(index), options);
  }

  // hash(algorithm, data, outputEncoding = 'hex'): one digest, checked as
  // node:crypto's hash() checks it (the data, then the encoding, then the
  // algorithm); strings are hashed as UTF-8.
  const NOTHING = new Uint8Array(0);
  const TEXT_SCRATCH = SIZES.map((size) => new Uint8Array(size));
  function hash(algorithm, data, outputEncoding = 'hex') {
    checkName(algorithm);
    const bytes = bytesOf(data, 'utf8', 'input');
    if (typeof outputEncoding !== 'string') {
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
        `The "outputEncoding" argument must be of type string. ${describe(outputEncoding)}`);
    }
    const encoding = outputEncoding === '' ? 'utf8' : outputEncoding;
    const as = encoding.toLowerCase();
    if (as !== 'buffer' && as !== 'hex' && platform.encode(NOTHING, encoding) === undefined) {
      throw codedError(TypeError, 'ERR_INVALID_ARG_VALUE',
        `The argument 'outputEncoding' is invalid. Received '${outputEncoding}'`);
    }
    const index = HASHES.indexOf(algorithm.toLowerCase());
    if (index < 0) throw new Error(`Digest method ${algorithm} is not supported`);
    if (as === 'hex') {
      // Text only: the digest goes through a buffer of this closure's,
      // wiped once read.
      const digest = TEXT_SCRATCH[index];
      backend.digest(index, bytes, digest);
      const text = hexText(digest);
      digest.fill(0);
      return text;
    }
    const digest = platform.allocate(SIZES[index]);
    backend.digest(index, bytes, digest);
    return as === 'buffer' ? digest : platform.encode(digest, encoding);
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

  // digestMany(algorithm, buffers): the digest of each of `buffers` (an
  // array of strings, hashed as UTF-8, views of memory or ArrayBuffers), in
  // an array of as many: what createHash(algorithm).update(buffer).digest()
  // gives for each (MD5 as its 16 raw bytes), computed several at a time
  // where the backend can.
  function digestMany(algorithm, buffers) {
    checkName(algorithm);
    if (!Array.isArray(buffers)) {
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE',
        `The "buffers" argument must be an instance of Array. ${describe(buffers)}`);
    }
    const list = new Array(buffers.length);
    for (let i = 0; i < buffers.length; ++i) list[i] = bytesOf(buffers[i], 'utf8', `buffers[${i}]`);
    const index = algorithmOf(algorithm);
    const size = SIZES[index];
    const all = platform.allocate(size * list.length);
    if (list.length !== 0) backend.digestMany(index, list, all);
    const digests = new Array(list.length);
    for (let i = 0; i < list.length; ++i) digests[i] = all.subarray(i * size, (i + 1) * size);
    return digests;
  }

  return {
    createHash,
    hash,
    digestMany,
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
