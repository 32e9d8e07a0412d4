// quillet for Node.js: node:crypto's Hash interface for Quillet's digests.
/// <reference types="node" />
import type { Transform, TransformOptions } from 'node:stream';

export type Algorithm = 'sha1' | 'broken_sha' | 'lockdown_sha' | 'md5';
export type Data = string | NodeJS.ArrayBufferView | ArrayBuffer | SharedArrayBuffer;
export type InputEncoding = BufferEncoding;
export type OutputEncoding = 'hex' | 'base64' | 'base64url' | 'latin1' | 'binary';

/** A stream's options; `outputLength`, where given, must be the digest's size (20, or 16 for md5). */
export interface HashOptions extends TransformOptions {
  outputLength?: number;
}

/** A stream.Transform, as node:crypto's Hash: what is written is hashed, and its end gives the digest to read. */
export declare class Hash extends Transform {
  private constructor();
  update(data: Data, inputEncoding?: InputEncoding): this;
  digest(): Buffer;
  digest(encoding: 'buffer'): Buffer;
  digest(encoding: OutputEncoding): string;
  copy(options?: HashOptions): Hash;
}

/** A hash object for `algorithm` (any case); throws "Digest method not supported" for others. */
export declare function createHash(algorithm: Algorithm | string, options?: HashOptions): Hash;
/** One digest, as node:crypto.hash gives it: hex by default; strings are hashed as UTF-8. */
export declare function hash(algorithm: Algorithm | string, data: Data, outputEncoding?: OutputEncoding): string;
export declare function hash(algorithm: Algorithm | string, data: Data, outputEncoding: 'buffer'): Buffer;
/** The algorithms' names: ['sha1', 'broken_sha', 'lockdown_sha', 'md5']. */
export declare function getHashes(): Algorithm[];
/** The exports' results: 20 bytes for the SHA-1 digests. */
export declare function StandardSHA(data: Data): Buffer;
export declare function BrokenSHA(data: Data): Buffer;
export declare function LockdownSHA(data: Data): Buffer;
/** MD5 as the export gives it: 32 upper-case hexadecimal characters. */
export declare function MD5(data: Data): string;
/** The 20-byte password proof; tokens are integers from -2**31 to 2**32-1. */
export declare function DoubleHashPassword(password: Data, firstToken: number, secondToken: number): Buffer;
/** Which backend runs: the native addon, or the WebAssembly build. */
export declare const backend: 'addon' | 'wasm';

declare const quillet: {
  createHash: typeof createHash;
  hash: typeof hash;
  getHashes: typeof getHashes;
  Hash: typeof Hash;
  StandardSHA: typeof StandardSHA;
  BrokenSHA: typeof BrokenSHA;
  LockdownSHA: typeof LockdownSHA;
  MD5: typeof MD5;
  DoubleHashPassword: typeof DoubleHashPassword;
  backend: typeof backend;
};
export default quillet;
