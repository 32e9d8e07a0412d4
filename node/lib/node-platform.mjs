// Node.js's side of the interface: strings through Buffer (every encoding
// Node.js knows, utf8 for any other, as node:crypto does) and digests as
// Buffers.
import { Buffer } from 'node:buffer';

const view = (bytes) => Buffer.from(bytes.buffer, bytes.byteOffset, bytes.byteLength);

export const nodePlatform = {
  fromString(text, encoding) {
    const bytes = Buffer.from(text, Buffer.isEncoding(encoding) ? encoding : 'utf8');
    return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  },
  output: (bytes) => (Buffer.isBuffer(bytes) ? bytes : view(bytes)),
  encode: (bytes, encoding) => (Buffer.isEncoding(encoding) ? view(bytes).toString(encoding) : undefined),
};
