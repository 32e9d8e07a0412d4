// Node.js's side of the interface: strings through Buffer (every encoding
// Node.js knows, utf8 for any other, as node:crypto does), results in
// Buffers, and hashes as streams.
import { Buffer } from 'node:buffer';
import { Transform } from 'node:stream';

export const nodePlatform = {
  fromString(text, encoding) {
    const bytes = Buffer.from(text, Buffer.isEncoding(encoding) ? encoding : 'utf8');
    return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  },
  allocate: (size) => Buffer.allocUnsafe(size),  // every byte is written before it is returned
  encode: (bytes, encoding) => (Buffer.isEncoding(encoding) ? bytes.toString(encoding) : undefined),
  Transform,
};
