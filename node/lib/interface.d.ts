// The package's interface, declared once over what differs between its two
// entry points: index.d.ts gives it Buffers and Node.js's encodings,
// wasm/index.d.ts Uint8Arrays and the browser's.

export type Algorithm = 'sha1' | 'broken_sha' | 'lockdown_sha' | 'md5';

// Bytes: what digests are returned in; Data: what update() and the exports
// take; Backend: the values of `backend`.
/** `outputLength`, where given, must be the digest's size (20, or 16 for md5). */
export interface OutputLengthOption {
  outputLength?: number;
}

/** node:crypto's Hash interface for Quillet's digests. */
export interface HashOf<Bytes, Data, InputEncoding, OutputEncoding, Options = OutputLengthOption> {
  update(data: Data, inputEncoding?: InputEncoding): this;
  digest(): Bytes;
  digest(encoding: 'buffer'): Bytes;
  digest(encoding: OutputEncoding): string;
  copy(options?: Options): this;
}

// Options: what createHash() and copy() take; Hash: the hash objects' type.
export interface QuilletOf<Bytes, Data, InputEncoding, OutputEncoding, Backend,
                           Options = OutputLengthOption,
                           Hash = HashOf<Bytes, Data, InputEncoding, OutputEncoding, Options>> {
  /** A hash object for `algorithm` (any case); throws "Digest method not supported" for others. */
  createHash(algorithm: Algorithm | string, options?: Options): Hash;
  /** One digest, as node:crypto.hash gives it: hex by default; strings are hashed as UTF-8. */
  hash(algorithm: Algorithm | string, data: Data, outputEncoding?: OutputEncoding): string;
  hash(algorithm: Algorithm | string, data: Data, outputEncoding: 'buffer'): Bytes;
  /**
   * The digest of each buffer (strings are hashed as UTF-8), as createHash(algorithm).update(buffer).digest()
   * gives it (MD5 as 16 raw bytes), several at a time where the backend can: vector lanes in the addon,
   * SIMD128 lanes in the WebAssembly build where the engine has SIMD.
   */
  digestMany(algorithm: Algorithm | string, buffers: readonly Data[]): Bytes[];
  /** The algorithms' names: ['sha1', 'broken_sha', 'lockdown_sha', 'md5']. */
  getHashes(): Algorithm[];
  /** The class of the hash objects, for instanceof: only createHash() and copy() make them. */
  Hash: abstract new (...args: never[]) => Hash;
  /** The exports' results: 20 bytes for the SHA-1 digests. */
  StandardSHA(data: Data): Bytes;
  BrokenSHA(data: Data): Bytes;
  LockdownSHA(data: Data): Bytes;
  /** MD5 as the export gives it: 32 upper-case hexadecimal characters. */
  MD5(data: Data): string;
  /** The 20-byte password proof; tokens are integers from -2**31 to 2**32-1. */
  DoubleHashPassword(password: Data, firstToken: number, secondToken: number): Bytes;
  /** Which backend runs: the native addon, or the WebAssembly build. */
  backend: Backend;
}

// The browser API of quillet/wasm: init() and hashBlob(), beside the
// interface above (declared apart from it: wasm/index.d.ts joins them).

/** What init() can load the WebAssembly module from. */
export type ModuleSource = string | URL | Response | PromiseLike<Response> | ArrayBuffer | ArrayBufferView |
  WebAssembly.Module;

/** hashBlob()'s options; `encoding` is digest()'s (bytes where it is not given). */
export interface HashBlobOptions<OutputEncoding> {
  /** Called after each slice with the bytes hashed so far and the Blob's size. */
  onProgress?: (done: number, total: number) => void;
  /** Aborting it rejects the promise with the signal's reason. */
  signal?: AbortSignal;
  /** Bytes read a slice (1 to 2**30; 8 MiB by default). */
  chunkSize?: number;
  encoding?: OutputEncoding | 'buffer';
}

export interface BrowserApiOf<Bytes, OutputEncoding, Self> {
  /**
   * Loads the module (from quillet.wasm beside the entry, or from `source`);
   * the same promise for every call once it succeeded, resolving to the
   * default export. Importing the entry calls it: a failed load is retried.
   */
  init(source?: ModuleSource): Promise<Self>;
  /** The digest of a Blob or File, read a slice at a time (memory for two slices). */
  hashBlob(blob: Blob, algorithm: Algorithm | string,
           options?: HashBlobOptions<OutputEncoding> & { encoding?: 'buffer' }): Promise<Bytes>;
  hashBlob(blob: Blob, algorithm: Algorithm | string,
           options: HashBlobOptions<OutputEncoding> & { encoding: OutputEncoding }): Promise<string>;
  /** Several digests from one read, in the order of `algorithms`. */
  hashBlob(blob: Blob, algorithms: readonly (Algorithm | string)[],
           options?: HashBlobOptions<OutputEncoding> & { encoding?: 'buffer' }): Promise<Bytes[]>;
  hashBlob(blob: Blob, algorithms: readonly (Algorithm | string)[],
           options: HashBlobOptions<OutputEncoding> & { encoding: OutputEncoding }): Promise<string[]>;
}
