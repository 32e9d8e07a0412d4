// quillet for Node.js: node:crypto's Hash interface for Quillet's digests,
// with Buffers (the interface itself is lib/interface.d.ts).
/// <reference types="node" />
import type { Algorithm, QuilletOf } from './lib/interface.js';

export type { Algorithm };
export type Data = string | NodeJS.ArrayBufferView | ArrayBuffer | SharedArrayBuffer;
export type InputEncoding = BufferEncoding;
export type OutputEncoding = 'hex' | 'base64' | 'base64url' | 'latin1' | 'binary';
export type Quillet = QuilletOf<Buffer, Data, InputEncoding, OutputEncoding, 'addon' | 'wasm'>;
export type Hash = ReturnType<Quillet['createHash']>;

declare const quillet: Quillet;
export default quillet;
export declare const { createHash, getHashes, Hash, StandardSHA, BrokenSHA, LockdownSHA, MD5,
  DoubleHashPassword, backend }: Quillet;
