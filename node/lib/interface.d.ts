// The package's interface, declared once over what differs between its two
// entry points: index.d.ts gives it Buffers and Node.js's encodings,
// wasm/index.d.ts Uint8Arrays and the browser's.

export type Algorithm = 'sha1' | 'broken_sha' | 'lockdown_sha' | 'md5';

// Bytes: what digests are returned in; Data: what update() and the exports
// take; Backend: the values of `backend`.
/** node:crypto's Hash interface for Quillet's digests. */
export interface HashOf<Bytes, Data, InputEncoding, OutputEncoding> {
  update(data: Data, inputEncoding?: InputEncoding): this;
  digest(): Bytes;
  digest(encoding: 'buffer'): Bytes;
  digest(encoding: OutputEncoding): string;
  copy(): HashOf<Bytes, Data, InputEncoding, OutputEncoding>;
}

export interface QuilletOf<Bytes, Data, InputEncoding, OutputEncoding, Backend> {
  /** A hash object for `algorithm` (any case); throws "Digest method not supported" for others. */
  createHash(algorithm: Algorithm | string): HashOf<Bytes, Data, InputEncoding, OutputEncoding>;
  /** The algorithms' names: ['sha1', 'broken_sha', 'lockdown_sha', 'md5']. */
  getHashes(): Algorithm[];
  /** The class of the hash objects, for instanceof: only createHash() and copy() make them. */
  Hash: abstract new (...args: never[]) => HashOf<Bytes, Data, InputEncoding, OutputEncoding>;
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
