"""The streaming interface (quillet/stream.h) through ctypes, as a binding in
another language calls it: random messages in random pieces against
independent computations, the caller's state in a ctypes buffer at every
offset and moved with memmove, digest_many, and the errors."""

import ctypes
import hashlib
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "reference"))
import sha_variants  # noqa: E402
from quillet_ctypes import LIBRARY_PATH  # noqa: E402

U8P, U64 = ctypes.c_void_p, ctypes.c_uint64
OK, NULL, UNKNOWN, FINISHED, TOO_SMALL, BAD_STATE = 0, 1, 2, 4, 5, 7
# number: (name, reference)
ALGORITHMS = {
    1: ("sha1", lambda m: hashlib.sha1(m).digest()),
    2: ("broken_sha", sha_variants.broken_sha),
    3: ("lockdown_sha", sha_variants.lockdown_sha),
    4: ("md5", lambda m: hashlib.md5(m).digest()),
}
SIGNATURES = {
    "quillet_version": (ctypes.c_char_p, []),
    "quillet_status_text": (ctypes.c_char_p, [ctypes.c_int32]),
    "quillet_algorithm_find": (ctypes.c_int32, [ctypes.c_char_p, ctypes.POINTER(ctypes.c_uint32)]),
    "quillet_digest_size": (ctypes.c_int32, [ctypes.c_uint32, ctypes.POINTER(U64)]),
    "quillet_digest": (ctypes.c_int32, [ctypes.c_uint32, U8P, U64, U8P, U64]),
    "quillet_digest_many": (ctypes.c_int32, [ctypes.c_uint32, U64, ctypes.POINTER(ctypes.c_void_p),
                                             ctypes.POINTER(U64), U8P, U64]),
    "quillet_hasher_new": (ctypes.c_int32, [ctypes.c_uint32, ctypes.POINTER(ctypes.c_void_p)]),
    "quillet_hasher_update": (ctypes.c_int32, [ctypes.c_void_p, U8P, U64]),
    "quillet_hasher_finish": (ctypes.c_int32, [ctypes.c_void_p, U8P, U64]),
    "quillet_hasher_copy": (ctypes.c_int32, [ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]),
    "quillet_hasher_reset": (ctypes.c_int32, [ctypes.c_void_p]),
    "quillet_hasher_free": (None, [ctypes.c_void_p]),
    "quillet_state_size": (U64, []),
    "quillet_state_init": (ctypes.c_int32, [ctypes.c_void_p, U64, ctypes.c_uint32]),
    "quillet_state_update": (ctypes.c_int32, [ctypes.c_void_p, U8P, U64]),
    "quillet_state_finish": (ctypes.c_int32, [ctypes.c_void_p, U8P, U64]),
    "quillet_state_clear": (ctypes.c_int32, [ctypes.c_void_p, U64]),
}

lib = ctypes.CDLL(LIBRARY_PATH)
for _name, (_restype, _argtypes) in SIGNATURES.items():
    getattr(lib, _name).restype = _restype
    getattr(lib, _name).argtypes = _argtypes


def pieces(message, rng):
    """The message cut at random points, empty pieces included."""
    cuts = sorted(rng.randrange(len(message) + 1) for _ in range(rng.randrange(5)))
    return [message[a:b] for a, b in zip([0] + cuts, cuts + [len(message)])]


def size_of(algorithm):
    size = U64()
    assert lib.quillet_digest_size(algorithm, ctypes.byref(size)) == OK
    return size.value


class StreamTest(unittest.TestCase):
    def test_random_messages_in_pieces(self):
        rng = random.Random(31)
        for _ in range(150):
            message = rng.randbytes(rng.choice([0, 1, 55, 56, 64, 65, rng.randrange(1000)]))
            for number, (name, reference) in ALGORITHMS.items():
                want = reference(message)
                hasher = ctypes.c_void_p()
                self.assertEqual(lib.quillet_hasher_new(number, ctypes.byref(hasher)), OK)
                for piece in pieces(message, rng):
                    self.assertEqual(lib.quillet_hasher_update(hasher, piece, len(piece)), OK)
                out = ctypes.create_string_buffer(20)
                self.assertEqual(lib.quillet_hasher_finish(hasher, out, 20), OK)
                self.assertEqual(out.raw[:len(want)], want, name)
                self.assertEqual(lib.quillet_hasher_finish(hasher, out, 20), FINISHED)
                lib.quillet_hasher_free(hasher)
                self.assertEqual(lib.quillet_digest(number, message, len(message), out, 20), OK)
                self.assertEqual(out.raw[:len(want)], want, name)

    def test_state_at_every_offset_moved(self):
        rng = random.Random(32)
        size = lib.quillet_state_size()
        arena = ctypes.create_string_buffer(2 * size + 64)
        base = ctypes.addressof(arena)
        for offset in range(16):
            for number, (name, reference) in ALGORITHMS.items():
                message = rng.randbytes(rng.randrange(300))
                here, there = base + offset, base + size + 32 + (offset * 5 + 1) % 16
                self.assertEqual(lib.quillet_state_init(here, size, number), OK)
                parts = pieces(message, rng)
                for i, piece in enumerate(parts):
                    if i == len(parts) // 2:  # as a garbage collector moves an array
                        ctypes.memmove(there, here, size)
                        ctypes.memset(here, 0, size)
                        here, there = there, here
                    self.assertEqual(lib.quillet_state_update(here, piece, len(piece)), OK)
                out = ctypes.create_string_buffer(20)
                self.assertEqual(lib.quillet_state_finish(here, out, 20), OK)
                self.assertEqual(out.raw[:size_of(number)], reference(message), (name, offset))
                self.assertEqual(lib.quillet_state_clear(here, size), OK)
                self.assertEqual(lib.quillet_state_update(here, b"", 0), BAD_STATE)

    def test_digest_many(self):
        rng = random.Random(33)
        messages = [rng.randbytes(rng.randrange(200)) for _ in range(100)]
        pointers = (ctypes.c_void_p * len(messages))(
            *[ctypes.cast(ctypes.c_char_p(m), ctypes.c_void_p) for m in messages])
        sizes = (U64 * len(messages))(*[len(m) for m in messages])
        for number, (name, reference) in ALGORITHMS.items():
            n = size_of(number)
            out = ctypes.create_string_buffer(n * len(messages))
            self.assertEqual(lib.quillet_digest_many(number, len(messages), pointers, sizes, out,
                                                     len(out)), OK)
            for i, m in enumerate(messages):
                self.assertEqual(out.raw[i * n:(i + 1) * n], reference(m), (name, i))
            self.assertEqual(lib.quillet_digest_many(number, len(messages), pointers, sizes, out,
                                                     len(out) - 1), TOO_SMALL)

    def test_errors_and_names(self):
        found = ctypes.c_uint32()
        for number, (name, _) in ALGORITHMS.items():
            self.assertEqual(lib.quillet_algorithm_find(name.upper().encode(), ctypes.byref(found)),
                             OK)
            self.assertEqual(found.value, number)
        self.assertEqual(lib.quillet_algorithm_find(b"sha256", ctypes.byref(found)), UNKNOWN)
        hasher = ctypes.c_void_p()
        self.assertEqual(lib.quillet_hasher_new(0, ctypes.byref(hasher)), UNKNOWN)
        self.assertIsNone(hasher.value)
        self.assertEqual(lib.quillet_hasher_update(None, b"a", 1), NULL)
        self.assertEqual(lib.quillet_hasher_reset(None), NULL)
        lib.quillet_hasher_free(None)
        self.assertEqual(lib.quillet_hasher_new(1, ctypes.byref(hasher)), OK)
        self.assertEqual(lib.quillet_hasher_finish(hasher, ctypes.create_string_buffer(19), 19),
                         TOO_SMALL)
        copy = ctypes.c_void_p()
        self.assertEqual(lib.quillet_hasher_copy(hasher, ctypes.byref(copy)), OK)
        lib.quillet_hasher_free(copy)
        lib.quillet_hasher_free(hasher)
        self.assertEqual(lib.quillet_status_text(FINISHED).split()[0], b"hasher")
        self.assertRegex(lib.quillet_version().decode(), r"^\d+\.\d+\.\d+\.\d+$")


if __name__ == "__main__":
    unittest.main()
