"""The exports through ctypes: known answers, random inputs against independent
computations (hashlib for SHA-1, the plain model in tests/reference for the
variants), argument handling, ownership and threads."""

import ctypes
import hashlib
import os
import random
import sys
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "reference"))
import sha_variants  # noqa: E402
from known_answers import KNOWN_ANSWERS  # noqa: E402
from quillet_ctypes import Library  # noqa: E402

REFERENCES = {
    "StandardSHA": lambda m: hashlib.sha1(m).digest(),
    "BrokenSHA": sha_variants.broken_sha,
    "LockdownSHA": sha_variants.lockdown_sha,
    "MD5": lambda m: hashlib.md5(m).hexdigest().upper().encode(),
}


def signed(token):
    return token - (1 << 32) if token >= 1 << 31 else token


class ExportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.lib = Library()

    def test_known_answers(self):
        for digest, message, tokens, expected in KNOWN_ANSWERS:
            with self.subTest(digest=digest, length=len(message)):
                self.assertEqual(self.lib.call(digest, message, *map(signed, tokens)), expected)

    def test_password_proof_against_the_model(self):
        rng = random.Random(7)
        cases = [(b"", 0, 0), (b"pw", 5, 5), (b"\x00\xff", 0xFFFFFFFF, 0x80000000)]
        for length in [*range(0, 150, 3), 16385, 70001]:
            cases.append((bytes(rng.randrange(256) for _ in range(length)),
                          rng.getrandbits(32), rng.getrandbits(32)))
        for password, first, second in cases:
            with self.subTest(length=len(password), first=first, second=second):
                expected = sha_variants.double_hash_password(password, first, second)
                got = self.lib.call("DoubleHashPassword", password, signed(first), signed(second))
                self.assertEqual(got, expected)
        self.assertEqual(self.lib.call("DoubleHashPassword", None, 1, 2),
                         self.lib.call("DoubleHashPassword", b"", 1, 2))

    def test_random_inputs_of_every_length(self):
        # Every length to 300, then lengths about the private copy's 16 KiB
        # chunks and past 64 KiB.
        rng = random.Random(20261208)
        for length in [*range(0, 300), 16383, 16384, 16385, 32769, 65536 + 7, 200003]:
            data = rng.randbytes(length)
            for name, reference in REFERENCES.items():
                with self.subTest(name=name, length=length):
                    self.assertEqual(self.lib.call(name, data), reference(data))

    def test_null_and_empty_handles_agree(self):
        # None as the reference itself (a binding that passes no variable)
        # reads as the null handle, and a null token reference as the token 0.
        def by_null_reference(name, *arguments):
            result = getattr(self.lib.dll, name)(*arguments)
            self.assertTrue(result, f"{name} returned the null handle")
            try:
                return self.lib.read(result)
            finally:
                self.lib.free(result)
        for name, reference in REFERENCES.items():
            with self.subTest(name=name):
                self.assertEqual(self.lib.call(name, None), reference(b""))
                self.assertEqual(self.lib.call(name, b""), reference(b""))
                self.assertEqual(by_null_reference(name, None), reference(b""))
        five = ctypes.byref(ctypes.c_int32(5))
        self.assertEqual(by_null_reference("DoubleHashPassword", None, None, five),
                         sha_variants.double_hash_password(b"", 0, 5))
        self.assertEqual(by_null_reference("DoubleHashPassword", None, five, None),
                         sha_variants.double_hash_password(b"", 5, 0))

    def test_zero_bytes_are_content(self):
        for name, reference in REFERENCES.items():
            with self.subTest(name=name):
                self.assertEqual(self.lib.call(name, b"a\x00b"), reference(b"a\x00b"))
                self.assertNotEqual(self.lib.call(name, b"a\x00b"), self.lib.call(name, b"a"))

    def test_arguments_untouched_and_results_new(self):
        data = bytes(range(256)) * 3
        handle = self.lib.make(data)
        variable = ctypes.c_void_p(handle)
        try:
            for name in REFERENCES:
                first = getattr(self.lib.dll, name)(ctypes.byref(variable))
                second = getattr(self.lib.dll, name)(ctypes.byref(variable))
                self.assertEqual(variable.value, handle)
                self.assertEqual(self.lib.read(handle), data)
                self.assertNotIn(first, (handle, second))
                length = 32 if name == "MD5" else 20
                self.assertEqual(self.lib.dll.SysStringByteLen(first), length)
                # Two uncounted zero bytes follow the content, as after an OLE string.
                self.assertEqual(ctypes.string_at(first, length + 2)[-2:], b"\0\0")
                self.assertEqual(self.lib.read(first), self.lib.read(second))
                self.lib.free(first)
                self.lib.free(second)
        finally:
            self.lib.free(handle)

    def test_threads_agree_with_serial_calls(self):
        inputs = [os.urandom(n) for n in range(0, 400, 7)]
        expected = {(name, i): REFERENCES[name](data)
                    for name in REFERENCES for i, data in enumerate(inputs)}
        errors = []

        def work(seed):
            rng = random.Random(seed)
            for _ in range(300):
                name = rng.choice(list(REFERENCES))
                i = rng.randrange(len(inputs))
                if self.lib.call(name, inputs[i]) != expected[(name, i)]:
                    errors.append((name, i))

        threads = [threading.Thread(target=work, args=(s,)) for s in range(8)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(errors, [])


@unittest.skipUnless(os.environ.get("QUILLET_LARGE"), "set QUILLET_LARGE=1 for inputs past 512 MiB")
class LargeInputTest(unittest.TestCase):
    def test_past_512_mib(self):
        # 2^29 bytes is where a 32-bit bit count wraps.
        length = (1 << 29) + 4099
        data = bytes(range(256)) * (length // 256) + bytes(length % 256)
        lib = Library()
        self.assertEqual(lib.call("StandardSHA", data), hashlib.sha1(data).digest())
        self.assertEqual(lib.call("MD5", data), REFERENCES["MD5"](data))


if __name__ == "__main__":
    unittest.main()
