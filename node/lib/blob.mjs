// hashBlob(blob, algorithm, options): the digest of a Blob (or File) read a
// slice at a time, so that a file of several GiB is hashed in the memory of
// two slices: the next slice is read while the one before it is hashed.
// With an array of algorithms, their digests in that order, from one read.
// options: onProgress(done, total) after each slice, signal (an AbortSignal:
// the promise is rejected with its reason), chunkSize (bytes a slice, 8 MiB
// by default), encoding (as digest() takes it; bytes by default).

const CHUNK = 8 * 1024 * 1024;
const MAX_CHUNK = 2 ** 30;

function codedError(Kind, code, message) {
  const error = new Kind(message);
  error.code = code;
  return error;
}

function isBlob(value) {
  return value !== null && typeof value === 'object' && typeof value.size === 'number' &&
    typeof value.slice === 'function';
}

export function makeHashBlob(createHash) {
  return async function hashBlob(blob, algorithm, options) {
    if (!isBlob(blob)) {
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE', 'The "blob" argument must be a Blob or a File');
    }
    const { onProgress, signal, chunkSize = CHUNK, encoding } = options ?? {};
    if (onProgress !== undefined && typeof onProgress !== 'function') {
      throw codedError(TypeError, 'ERR_INVALID_ARG_TYPE', 'The "options.onProgress" property must be a function');
    }
    if (!Number.isInteger(chunkSize) || chunkSize < 1 || chunkSize > MAX_CHUNK) {
      throw codedError(RangeError, 'ERR_OUT_OF_RANGE',
        `The value of "options.chunkSize" is out of range. It must be an integer >= 1 and <= ${MAX_CHUNK}. ` +
        `Received ${String(chunkSize)}`);
    }
    const several = Array.isArray(algorithm);
    const hashes = (several ? algorithm : [algorithm]).map((name) => createHash(name));
    signal?.throwIfAborted();
    const size = blob.size;
    const read = (at) => blob.slice(at, Math.min(at + chunkSize, size)).arrayBuffer();
    let next = size > 0 ? read(0) : null;
    try {
      for (let done = 0; done < size;) {
        const bytes = new Uint8Array(await next);
        next = null;
        signal?.throwIfAborted();
        const expected = Math.min(chunkSize, size - done);
        // A file changed on disk after it was picked reads short (or fails
        // to read): that is an error, not the digest of some other bytes.
        if (bytes.length !== expected) {
          throw new Error(`hashBlob: read ${bytes.length} bytes at ${done}, not ${expected}: ` +
            'the file changed while it was read');
        }
        done += bytes.length;
        if (done < size) next = read(done);
        for (const hash of hashes) hash.update(bytes);
        onProgress?.(done, size);
      }
    } catch (error) {
      next?.catch(() => {});  // the slice read ahead is not wanted now
      throw error;
    }
    const digests = hashes.map((hash) => hash.digest(encoding));
    return several ? digests : digests[0];
  };
}
