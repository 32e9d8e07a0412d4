// quillet for browsers and bundlers: the Node.js package's interface over
// the WebAssembly build, digests as Uint8Arrays.

export type Algorithm = 'sha1' | 'broken_sha' | 'lockdown_sha' | 'md5';
export type Data = string | ArrayBufferView | ArrayBuffer;
export type InputEncoding = 'utf8' | 'utf-8' | 'hex' | 'base64' | 'base64url' | 'latin1' | 'binary' |
  'ascii' | 'utf16le' | 'ucs2';
export type OutputEncoding = 'hex' | 'base64' | 'base64url' | 'latin1' | 'binary' | 'utf8';

/** `outputLength`, where given, must be the digest's size (20, or 16 for md5). */
export interface HashOptions {
  outputLength?: number;
}

/** On Node.js, also a stream.Transform, as the 'quillet' entry's Hash. */
export declare class Hash {
  private constructor();
  update(data: Data, inputEncoding?: InputEncoding): this;
  digest(): Uint8Array;
  digest(encoding: 'buffer'): Uint8Array;
  digest(encoding: OutputEncoding): string;
  copy(options?: HashOptions): Hash;
}

export declare function createHash(algorithm: Algorithm | string, options?: HashOptions): Hash;
export declare function hash(algorithm: Algorithm | string, data: Data, outputEncoding?: OutputEncoding): string;
export declare function hash(algorithm: Algorithm | string, data: Data, outputEncoding: 'buffer'): Uint8Array;
export declare function getHashes(): Algorithm[];
export declare function StandardSHA(data: Data): Uint8Array;
export declare function BrokenSHA(data: Data): Uint8Array;
export declare function LockdownSHA(data: Data): Uint8Array;
export declare function MD5(data: Data): string;
export declare function DoubleHashPassword(password: Data, firstToken: number, secondToken: number): Uint8Array;
export declare const backend: 'wasm';

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
