// quillet for Node.js: node:crypto's Hash interface for Quillet's digests,
// with Buffers (the interface itself is lib/interface.d.ts).
/// <reference types="node" />
import type { Transform, TransformOptions } from 'node:stream';
import type { Algorithm, HashOf, OutputLengthOption, QuilletOf } from './lib/interface.js';

export type { Algorithm };
export type Data = string | NodeJS.ArrayBufferView | ArrayBuffer | SharedArrayBuffer;
export type InputEncoding = BufferEncoding;
export type OutputEncoding = 'hex' | 'base64' | 'base64url' | 'latin1' | 'binary';
/** A stream's options; `outputLength`, where given, must be the digest's size. */
export interface HashOptions extends TransformOptions, OutputLengthOption {}
/** A stream.Transform, as node:crypto's Hash: what is written is hashed, and its end gives the digest to read. */
export type Hash = HashOf<Buffer, Data, InputEncoding, OutputEncoding, HashOptions> & Transform;
export type Quillet = QuilletOf<Buffer, Data, InputEncoding, OutputEncoding, 'addon' | 'wasm',
                                HashOptions, Hash>;

declare const quillet: Quillet;
export default quillet;
export declare const { createHash, hash, digestMany, getHashes, Hash, StandardSHA, BrokenSHA, LockdownSHA, MD5,
  DoubleHashPassword, backend }: Quillet;
