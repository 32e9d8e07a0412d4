"""The quillet package against hashlib, against the library's C exports
(through ctypes, from libquillet.so) and against the plain model of the
variants, with bad arguments and threads.

    QUILLET_LIBRARY=build/release/src/libquillet.so python -m unittest discover python/tests
"""

import array
import hashlib
import os
import random
import sys
import threading
import time
import unittest

import quillet

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "reference"))
sys.path.insert(0, os.path.join(ROOT, "tests", "python"))
import sha_variants  # noqa: E402

try:
    from quillet_ctypes import Library  # noqa: E402
    EXPORTS = Library() if os.environ.get("QUILLET_LIBRARY") else None
except OSError:
    EXPORTS = None

RNG = random.Random(14)
INPUTS = [RNG.randbytes(n) for n in range(301)] + [RNG.randbytes(1 << 20)]
HASHLIB = {"sha1": hashlib.sha1, "md5": hashlib.md5}
MODEL = {"broken_sha": sha_variants.broken_sha, "lockdown_sha": sha_variants.lockdown_sha,
         "sha1": sha_variants.standard_sha}
EXPORT_OF = {"sha1": "StandardSHA", "broken_sha": "BrokenSHA", "lockdown_sha": "LockdownSHA"}


def pieces(data, rng):
    """`data` cut at random points, empty pieces included."""
    cuts = sorted(rng.randrange(len(data) + 1) for _ in range(rng.randrange(6)))
    bounds = [0, *cuts, len(data)]
    return [data[a:b] for a, b in zip(bounds, bounds[1:])]


class AgainstHashlibTest(unittest.TestCase):
    def test_whole_split_bytewise_and_copied(self):
        rng = random.Random(1)
        for name, reference in HASHLIB.items():
            for data in INPUTS:
                with self.subTest(name=name, length=len(data)):
                    want = reference(data)
                    got = quillet.new(name, data)
                    self.assertEqual(got.digest(), want.digest())
                    self.assertEqual(got.hexdigest(), want.hexdigest())
                    split = quillet.new(name)
                    for piece in pieces(data, rng):
                        split.update(piece)
                    self.assertEqual(split.digest(), want.digest())
                    if len(data) <= 300:
                        one_by_one = getattr(quillet, name)()
                        for i in range(len(data)):
                            one_by_one.update(data[i:i + 1])
                        self.assertEqual(one_by_one.digest(), want.digest())
                    cut = rng.randrange(len(data) + 1)
                    head = quillet.new(name, data[:cut])
                    copy = head.copy()
                    head.update(b"something else")
                    copy.update(data[cut:])
                    self.assertEqual(copy.hexdigest(), want.hexdigest())

    def test_attributes_and_repeated_digests(self):
        for name, reference in HASHLIB.items():
            ours, theirs = quillet.new(name, b"abc"), reference(b"abc")
            self.assertEqual((ours.name, ours.digest_size, ours.block_size),
                             (theirs.name, theirs.digest_size, theirs.block_size))
            self.assertEqual(ours.digest(), ours.digest())  # digest() does not finish it
            ours.update(b"d")
            self.assertEqual(ours.digest(), reference(b"abcd").digest())
        self.assertEqual(quillet.algorithms_available, {"sha1", "broken_sha", "lockdown_sha", "md5"})
        self.assertEqual(quillet.algorithms_guaranteed, quillet.algorithms_available)

    def test_any_buffer(self):
        data = bytes(range(200))
        for value in (bytearray(data), memoryview(data), memoryview(data)[10:], array.array("I", range(50)),
                      array.array("d", [1.5, -2.0])):
            with self.subTest(type=type(value).__name__):
                want = hashlib.sha1(value).digest()
                self.assertEqual(quillet.sha1(value).digest(), want)
                self.assertEqual(quillet.StandardSHA(value), want)


class AgainstTheExportsTest(unittest.TestCase):
    KNOWN = [  # the variants' published answers
        ("BrokenSHA", b"", "0123456789abcdeffedcba9876543210f0e1d2c3"),
        ("BrokenSHA", b"abc", "7a7af57b99e91bcce6dc75f981fe2255d6c878ab"),
        ("BrokenSHA", b"a" * 65, "477cc9642888c0cb89d5b3b820f54cda0d12b206"),
        ("LockdownSHA", b"", "1ef84498ecf608147d1332b9cfd7be33a318f5dc"),
        ("LockdownSHA", b"abc", "50c8e95373d4856f7567b73c2df9da981062e20a"),
        ("LockdownSHA", b"a" * 56, "c4f719535fec33a03359f23623537ed62d204443"),
        ("StandardSHA", b"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"),
    ]

    def test_known_answers(self):
        for export, data, want in self.KNOWN:
            with self.subTest(export=export, length=len(data)):
                self.assertEqual(getattr(quillet, export)(data).hex(), want)
        self.assertEqual(quillet.MD5(b"abc"), b"900150983CD24FB0D6963F7D28E17F72")
        self.assertEqual(quillet.DoubleHashPassword(b"password", 0x12345678, 0xDEADBEEF).hex(),
                         "f5dd47fed4f843073ee91935a884d148c493da05")

    def test_variants_against_model_and_exports(self):
        for name, model in MODEL.items():
            for data in INPUTS[:301:7] + INPUTS[-1:]:
                with self.subTest(name=name, length=len(data)):
                    want = model(data)
                    self.assertEqual(quillet.new(name, data).digest(), want)
                    self.assertEqual(getattr(quillet, EXPORT_OF[name])(data), want)
                    if EXPORTS:
                        self.assertEqual(EXPORTS.call(EXPORT_OF[name], data), want)

    @unittest.skipUnless(EXPORTS, "set QUILLET_LIBRARY to the built libquillet.so")
    def test_every_export_agrees_byte_for_byte(self):
        rng = random.Random(2)
        for data in INPUTS:
            for export in ("StandardSHA", "BrokenSHA", "LockdownSHA", "MD5"):
                with self.subTest(export=export, length=len(data)):
                    self.assertEqual(getattr(quillet, export)(data), EXPORTS.call(export, data))
            first, second = rng.getrandbits(32), rng.getrandbits(32)
            signed = second - (1 << 32) if second >= 1 << 31 else second
            password = data[:200]
            want = EXPORTS.call("DoubleHashPassword", password, first - (1 << 32) if first >= 1 << 31 else first, signed)
            self.assertEqual(quillet.DoubleHashPassword(password, first, second), want)
            self.assertEqual(quillet.DoubleHashPassword(password, first, signed), want)
            self.assertEqual(want, sha_variants.double_hash_password(password, first, second))


class BadArgumentsTest(unittest.TestCase):
    def test_refused_as_hashlib_refuses(self):
        for call in (lambda: quillet.sha1("text"), lambda: quillet.md5().update("text"),
                     lambda: quillet.StandardSHA("text"), lambda: quillet.new("sha1", "text")):
            with self.assertRaisesRegex(TypeError, "Strings must be encoded"):
                call()
        for value in (None, 5, 1.5, object(), [1, 2]):
            with self.subTest(value=value):
                self.assertRaises(TypeError, quillet.sha1, value)
                self.assertRaises(TypeError, quillet.MD5, value)
                self.assertRaises(TypeError, quillet.lockdown_sha().update, value)
        self.assertRaises(BufferError, quillet.sha1, memoryview(bytes(10))[::2])
        self.assertRaises(TypeError, quillet.sha1, b"", b"")
        self.assertRaises(TypeError, quillet.sha1, data=b"", nonsense=1)
        self.assertEqual(quillet.sha1(data=b"abc", usedforsecurity=False).digest(),
                         hashlib.sha1(b"abc").digest())

    def test_names(self):
        self.assertEqual(quillet.new("SHA1").name, "sha1")
        with self.assertRaisesRegex(ValueError, "unsupported hash type sha256"):
            quillet.new("sha256")
        self.assertRaises(TypeError, quillet.new, b"sha1")

    def test_tokens(self):
        # Signed and unsigned readings of the same 32 bits, at both ends.
        self.assertEqual(quillet.DoubleHashPassword(b"pw", -1, 2**31 - 1),
                         quillet.DoubleHashPassword(b"pw", 2**32 - 1, 2**31 - 1))
        self.assertEqual(quillet.DoubleHashPassword(b"pw", -(2**31), 0),
                         quillet.DoubleHashPassword(b"pw", 2**31, 0))
        for first, second, error, named in ((2**32, 0, ValueError, "first_token"),
                                            (-(2**31) - 1, 0, ValueError, "first_token"),
                                            (0, 2**64, ValueError, "second_token"),
                                            (0, 10**30, ValueError, "second_token"),
                                            ("1", 0, TypeError, "first_token"),
                                            (0, 1.0, TypeError, "second_token"),
                                            (0, None, TypeError, "second_token")):
            with self.subTest(first=first, second=second):
                with self.assertRaisesRegex(error, named):
                    quillet.DoubleHashPassword(b"pw", first, second)
        self.assertRaises(TypeError, quillet.DoubleHashPassword, "pw", 1, 2)
        self.assertRaises(TypeError, quillet.DoubleHashPassword, b"pw", 1)


class ThreadsTest(unittest.TestCase):
    def test_shared_objects_stay_consistent(self):
        # Eight threads feed the same chunks to shared objects in any order;
        # the chunks are all alike, so only a lost or torn update shows.
        chunks = {"small": b"x" * 100, "large": bytes(range(256)) * 40}
        for label, chunk in chunks.items():
            shared = {name: quillet.new(name) for name in ("sha1", "md5", "broken_sha")}
            def work():
                for _ in range(50):
                    for h in shared.values():
                        h.update(chunk)
                        h.copy().hexdigest()
            threads = [threading.Thread(target=work) for _ in range(8)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            with self.subTest(chunk=label):
                self.assertEqual(shared["sha1"].digest(), hashlib.sha1(chunk * 400).digest())
                self.assertEqual(shared["md5"].digest(), hashlib.md5(chunk * 400).digest())
                self.assertEqual(shared["broken_sha"].digest(), sha_variants.broken_sha(chunk * 400))

    def test_the_gil_is_released_while_hashing(self):
        big = bytes(64 << 20)
        for call in (lambda: quillet.sha1(big), lambda: quillet.md5().update(big),
                     lambda: quillet.BrokenSHA(big)):
            done = threading.Event()
            def hash_it():
                call()
                done.set()
            worker = threading.Thread(target=hash_it)
            counted = 0
            start = time.perf_counter()
            worker.start()
            while not done.is_set():
                counted += 1
            elapsed = time.perf_counter() - start
            worker.join()
            # Python code ran all the while the buffer was hashed.
            self.assertGreater(counted, 10000, f"{counted} iterations in {elapsed:.3f} s")


if __name__ == "__main__":
    unittest.main()
