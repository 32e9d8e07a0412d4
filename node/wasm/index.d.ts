// quillet for browsers and bundlers: the Node.js package's interface
// (lib/interface.d.ts) over the WebAssembly build, digests as Uint8Arrays,
// with init() and hashBlob().
import type { Algorithm, BrowserApiOf, HashBlobOptions, ModuleSource, OutputLengthOption, QuilletOf }
  from '../lib/interface.js';

export type { Algorithm, HashBlobOptions, ModuleSource };
export type HashOptions = OutputLengthOption;
export type Data = string | ArrayBufferView | ArrayBuffer;
export type InputEncoding = 'utf8' | 'utf-8' | 'hex' | 'base64' | 'base64url' | 'latin1' | 'binary' |
  'ascii' | 'utf16le' | 'ucs2';
export type OutputEncoding = 'hex' | 'base64' | 'base64url' | 'latin1' | 'binary' | 'utf8';
export interface Quillet extends QuilletOf<Uint8Array, Data, InputEncoding, OutputEncoding, 'wasm'>,
  BrowserApiOf<Uint8Array, OutputEncoding, Quillet> {}
export type Hash = ReturnType<Quillet['createHash']>;

declare const quillet: Quillet;
export default quillet;
export declare const { createHash, hash, digestMany, getHashes, Hash, StandardSHA, BrokenSHA, LockdownSHA,
  MD5, DoubleHashPassword, backend, init, hashBlob }: Quillet;
