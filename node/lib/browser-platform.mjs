// The browser's side of the interface, with no Node.js built-ins: strings in
// utf8 (the default, also for an encoding not known), hex, base64,
// base64url, latin1 (binary), ascii and utf16le (ucs2), as Node.js's Buffer
// reads them; digests as Uint8Arrays, or text in hex, base64, base64url,
// latin1 (binary) or utf8.

const HEX = '0123456789abcdef';
const BASE64 = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';

function fromHex(text) {
  const bytes = [];
  for (let i = 0; i + 1 < text.length; i += 2) {
    const byte = parseInt(text.slice(i, i + 2), 16);
    if (Number.isNaN(byte) || !/^[0-9a-fA-F]{2}$/.test(text.slice(i, i + 2))) break;  // as Buffer stops
    bytes.push(byte);
  }
  return Uint8Array.from(bytes);
}

function fromBase64(text) {
  const bytes = [];
  let bits = 0;
  let value = 0;
  for (const c of text.replace(/-/g, '+').replace(/_/g, '/')) {
    const digit = BASE64.indexOf(c);
    if (c === '=') break;
    if (digit < 0) continue;  // spaces and other characters are skipped, as Buffer does
    value = (value << 6) | digit;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push((value >> bits) & 255);
    }
  }
  return Uint8Array.from(bytes);
}

function toBase64(bytes, url) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 3) {
    const n = (bytes[i] << 16) | ((bytes[i + 1] ?? 0) << 8) | (bytes[i + 2] ?? 0);
    const digits = Math.min(4, Math.ceil(((bytes.length - i) * 8) / 6));
    for (let d = 0; d < 4; ++d) text += d < digits ? BASE64[(n >> (18 - 6 * d)) & 63] : (url ? '' : '=');
  }
  return url ? text.replace(/\+/g, '-').replace(/\//g, '_') : text;
}

export const browserPlatform = {
  fromString(text, encoding) {
    switch (String(encoding).toLowerCase()) {
      case 'hex': return fromHex(text);
      case 'base64': case 'base64url': return fromBase64(text);
      case 'latin1': case 'binary': case 'ascii':  // each UTF-16 unit's low byte
        return Uint8Array.from({ length: text.length }, (_, i) => text.charCodeAt(i) & 255);
      case 'utf16le': case 'utf-16le': case 'ucs2': case 'ucs-2': {
        const bytes = new Uint8Array(text.length * 2);
        for (let i = 0; i < text.length; ++i) {
          bytes[2 * i] = text.charCodeAt(i) & 255;
          bytes[2 * i + 1] = text.charCodeAt(i) >> 8;
        }
        return bytes;
      }
      default: return new TextEncoder().encode(text);
    }
  },
  allocate: (size) => new Uint8Array(size),
  encode(bytes, encoding) {
    switch (encoding.toLowerCase()) {
      case 'hex': return Array.from(bytes, (b) => HEX[b >> 4] + HEX[b & 15]).join('');
      case 'base64': return toBase64(bytes, false);
      case 'base64url': return toBase64(bytes, true);
      case 'latin1': case 'binary': return String.fromCharCode(...bytes);
      case 'utf8': case 'utf-8': return new TextDecoder().decode(bytes);
      default: return undefined;
    }
  },
};
