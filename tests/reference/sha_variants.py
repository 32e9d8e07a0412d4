"""An independent, deliberately plain model of the three SHA-1 digests.

Written straight from the algorithm's description, sharing no code with the
library: the message is padded whole, the schedule is a list of 80 words.
The standard path is checked against hashlib.sha1 by the tests that use it;
the two variants are checked against the published known answers.
"""

MASK = 0xFFFFFFFF
INITIAL = (0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0)


def _rotl(x, n):
    n &= 31
    return ((x << n) | (x >> (32 - n))) & MASK


def _pad(message, standard, broken):
    length = len(message)
    if broken:
        rest = length % 64
        return message + bytes((64 - rest) % 64)
    padded = message + b"\x80" + bytes((119 - length % 64) % 64)
    if standard:
        return padded + ((8 * length) % 2**64).to_bytes(8, "big")
    return padded + ((8 * length) % 2**32).to_bytes(4, "little") + bytes(4)


def _compress(h, block, standard, broken):
    order = "big" if standard else "little"
    w = [int.from_bytes(block[4 * j:4 * j + 4], order) for j in range(16)]
    for t in range(16, 80):
        v = w[t - 8] ^ w[t - 16] ^ w[t - 14] ^ w[t - 3]
        w.append(1 << (v & 31) if broken else _rotl(v, 1))
    a, b, c, d, e = h
    for t in range(80):
        if t < 20:
            f, k = (b & c) | (~b & d), 0x5A827999
        elif t < 40:
            f, k = b ^ c ^ d, 0x6ED9EBA1
        elif t < 60:
            f, k = (b & c) | (b & d) | (c & d), 0x8F1BBCDC
        else:
            f, k = b ^ c ^ d, 0xCA62C1D6
        a, b, c, d, e = (_rotl(a, 5) + (f & MASK) + e + w[t] + k) & MASK, a, _rotl(b, 30), c, d
    return [(x + y) & MASK for x, y in zip(h, (a, b, c, d, e))]


def digest(message, standard, broken):
    h = list(INITIAL)
    padded = _pad(bytes(message), standard, broken)
    for i in range(0, len(padded), 64):
        h = _compress(h, padded[i:i + 64], standard, broken)
    order = "big" if standard else "little"
    return b"".join(x.to_bytes(4, order) for x in h)


def standard_sha(message):
    return digest(message, True, False)


def broken_sha(message):
    return digest(message, False, True)


def lockdown_sha(message):
    return digest(message, False, False)


def double_hash_password(password, first_token, second_token):
    joined = ((first_token & MASK).to_bytes(4, "little")
              + (second_token & MASK).to_bytes(4, "little")
              + broken_sha(password))
    return broken_sha(joined)
