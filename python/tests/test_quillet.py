"""The quillet package against hashlib, against the library's C exports
(through ctypes, from libquillet.so) and against the plain model of the
variants, with bad arguments and threads.

    QUILLET_LIBRARY=build/release/src/libquillet.so python -m unittest discover python/tests

With QUILLET_TEST_HOOKS=1 (set when the package was built so, as
python/run_tests.sh builds it) the tests that need the module's hooks run too.
"""

import array
import ast
import hashlib
import inspect
import io
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import textwrap
import threading
import time
import unittest

import quillet

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "reference"))
sys.path.insert(0, os.path.join(ROOT, "tests", "python"))
import sha_variants  # noqa: E402
from known_answers import KNOWN_ANSWERS  # noqa: E402

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
# A module built for the tests (QUILLET_TEST_HOOKS=1, as python/run_tests.sh
# builds it) has _gil_releases() and Hash._locked; the installed one has not.
HOOKS = os.environ.get("QUILLET_TEST_HOOKS") == "1"
# What a sub-interpreter runs: it imports the package and hashes, and appends
# [id of its Hash type, whether the digests were right] to $QUILLET_RESULTS.
SUB_INTERPRETER_CODE = """
import hashlib, os, quillet
ok = (quillet.sha1(b"abc").hexdigest() == hashlib.sha1(b"abc").hexdigest()
      and quillet.md5(bytes(5000)).digest() == hashlib.md5(bytes(5000)).digest()
      and quillet.digest_many("sha1", [b"a", b""]) == [hashlib.sha1(b"a").digest(),
                                                        hashlib.sha1(b"").digest()])
with open(os.environ["QUILLET_RESULTS"], "a") as f:
    f.write(repr([id(quillet.Hash), ok]) + "\\n")
"""


def find_mypy():
    """A command that runs mypy: this interpreter's, or the system's."""
    for python in (sys.executable, "/usr/bin/python3"):
        if os.path.exists(python) and subprocess.run([python, "-m", "mypy", "--version"],
                                                     capture_output=True).returncode == 0:
            return [python, "-m", "mypy"]
    return None


def isolated(test, code):
    """What `code` prints (a Python literal), run in an interpreter of its own
    so that a crash fails the test and not the whole suite."""
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                            text=True, timeout=120)
    test.assertEqual(result.returncode, 0, result.stderr)
    return ast.literal_eval(result.stdout)


MYPY = find_mypy()
# hashlib has file_digest from Python 3.11 on.
HASHLIB_FILE_DIGEST = getattr(hashlib, "file_digest", None)
# name: (digest_size, block_size), for every kind.
SIZES = {"sha1": (20, 64), "broken_sha": (20, 64), "lockdown_sha": (20, 64), "md5": (16, 64)}


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
        for name, (digest_size, block_size) in SIZES.items():
            for made in (getattr(quillet, name)(), quillet.new(name.upper(), b"x"),
                         getattr(quillet, name)(b"x").copy(), quillet.new(name).copy().copy()):
                with self.subTest(name=name, made=repr(made)):
                    self.assertIsInstance(made, quillet.Hash)
                    self.assertEqual((made.name, made.digest_size, made.block_size),
                                     (name, digest_size, block_size))
                    self.assertEqual(len(made.digest()), digest_size)
                    self.assertEqual(len(made.hexdigest()), 2 * digest_size)
                    self.assertTrue(repr(made).startswith(f"<{name} quillet.Hash object @ 0x"))
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
                self.assertEqual(quillet.digest_many("sha1", [value, value]), [want, want])

    def test_digest_many_gives_each_message_its_own_digest(self):
        rng = random.Random(3)
        mixed = INPUTS[:301] + [rng.randbytes(rng.choice((1000, 4096, 70000))) for _ in range(40)]
        rng.shuffle(mixed)  # long ones among short: lanes refilled mid-batch
        for name in SIZES:
            want = [quillet.new(name, data).digest() for data in mixed]
            with self.subTest(name=name):
                self.assertEqual(quillet.digest_many(name, mixed), want)
                self.assertEqual(quillet.digest_many(name.upper(), iter(mixed)), want)
                self.assertEqual(quillet.digest_many(name, (bytearray(m) for m in mixed[:40])),
                                 want[:40])
                for count in range(1, 34):  # every number of busy lanes
                    self.assertEqual(quillet.digest_many(name, tuple(mixed[:count])), want[:count])
                self.assertEqual(quillet.digest_many(name, INPUTS[-1:]),
                                 [quillet.new(name, INPUTS[-1]).digest()])
                self.assertEqual(quillet.digest_many(name, []), [])
            if name in HASHLIB:
                self.assertEqual(want, [HASHLIB[name](data).digest() for data in mixed])


class AgainstTheExportsTest(unittest.TestCase):
    def test_known_answers(self):
        names = {"StandardSHA": "sha1", "BrokenSHA": "broken_sha", "LockdownSHA": "lockdown_sha",
                 "MD5": "md5"}
        for digest, message, tokens, expected in KNOWN_ANSWERS:
            with self.subTest(digest=digest, length=len(message)):
                self.assertEqual(getattr(quillet, digest)(message, *tokens), expected)
                if digest in names:
                    raw = quillet.new(names[digest], message).digest()
                    self.assertEqual(raw.hex().upper().encode() if digest == "MD5" else raw,
                                     expected)

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
                     lambda: quillet.StandardSHA("text"), lambda: quillet.new("sha1", "text"),
                     lambda: quillet.digest_many("md5", [b"ok", "text"])):
            with self.assertRaisesRegex(TypeError, "Strings must be encoded"):
                call()
        for value in (None, 5, 1.5, object(), [1, 2]):
            with self.subTest(value=value):
                self.assertRaises(TypeError, quillet.sha1, value)
                self.assertRaises(TypeError, quillet.MD5, value)
                self.assertRaises(TypeError, quillet.lockdown_sha().update, value)
                self.assertRaises(TypeError, quillet.digest_many, "sha1", [b"", value])
        for messages in (5, None, b"abc", [b"a", 1]):
            with self.subTest(messages=messages):
                self.assertRaises(TypeError, quillet.digest_many, "sha1", messages)
        self.assertRaises(BufferError, quillet.digest_many, "md5", [memoryview(bytes(10))[::2]])
        self.assertRaises(TypeError, quillet.digest_many, "md5")
        self.assertRaises(BufferError, quillet.sha1, memoryview(bytes(10))[::2])
        self.assertRaises(TypeError, quillet.sha1, b"", b"")
        self.assertRaises(TypeError, quillet.sha1, data=b"", nonsense=1)
        self.assertEqual(quillet.sha1(data=b"abc", usedforsecurity=False).digest(),
                         hashlib.sha1(b"abc").digest())

    @unittest.skipUnless(sys.version_info >= (3, 12), "__buffer__ in Python code needs 3.12")
    def test_a_buffer_that_empties_the_callers_list(self):
        # Taking a buffer runs the item's __buffer__, which may change the
        # list: the messages are the ones the list held when called.
        got = isolated(self, """
            import hashlib, quillet
            class Empties:
                def __init__(self, action): self.action = action
                def __buffer__(self, flags):
                    self.action()
                    return memoryview(b"abc")
            out = []
            for action in ("clear", "append", "pop"):
                messages = [b"x"]
                step = {"clear": messages.clear, "append": lambda: messages.append(b"more"),
                        "pop": messages.pop}[action]
                messages += [Empties(step), b"y" * 5000, Empties(step), b"z"]
                want = [hashlib.sha1(m).digest() for m in (b"x", b"abc", b"y" * 5000, b"abc", b"z")]
                out.append(quillet.digest_many("sha1", messages) == want)
            print(out)
            """)
        self.assertEqual(got, [True, True, True])

    def test_constructors_take_hashlibs_arguments(self):
        want = {name: quillet.new(name, b"abc").digest() for name in SIZES}
        self.assertEqual(want["sha1"], hashlib.sha1(b"abc").digest())
        for name in SIZES:
            constructor = getattr(quillet, name)
            for call in (lambda: constructor(b"abc"), lambda: constructor(string=b"abc"),
                         lambda: constructor(data=b"abc"), lambda: constructor(b"abc", usedforsecurity=False),
                         lambda: constructor(string=bytearray(b"abc"), usedforsecurity=True),
                         lambda: quillet.new(name, b"abc"), lambda: quillet.new(name, data=b"abc"),
                         lambda: quillet.new(name, string=b"abc"),
                         lambda: quillet.new(name=name, data=memoryview(b"abc"), usedforsecurity=False)):
                with self.subTest(name=name):
                    self.assertEqual(call().digest(), want[name])
            self.assertEqual(constructor().digest(), quillet.new(name, b"").digest())
            for call, message in (
                    (lambda: constructor(foo=1), f"'foo' is an invalid keyword argument for {name}()"),
                    (lambda: quillet.new(name, foo=1), "'foo' is an invalid keyword argument for new()"),
                    (lambda: constructor(b"a", string=b"b"),
                     f"argument for {name}() given by name ('string') and position (1)"),
                    (lambda: quillet.new(name, b"a", data=b"b"),
                     "argument for new() given by name ('data') and position (2)"),
                    (lambda: constructor(b"", True), f"{name}() takes at most 1 positional argument (2 given)"),
                    (lambda: constructor(data=b"a", string=b"b"), f"mutually exclusive in {name}()"),
                    (lambda: quillet.new(name, data=b"a", string=b"b"), "mutually exclusive in new()")):
                # Python 3.13 words an unknown keyword its own way.
                if sys.version_info >= (3, 13) and "invalid keyword" in message:
                    keyword, function = re.match(r"(\S+) is an invalid keyword argument for (\S+)",
                                                 message).groups()
                    message = f"{function} got an unexpected keyword argument {keyword}"
                with self.subTest(name=name, message=message):
                    with self.assertRaisesRegex(TypeError, re.escape(message)):
                        call()
        # Messages as hashlib's own, word for word.
        for ours, theirs in ((lambda: quillet.new("sha1", foo=1), lambda: hashlib.new("sha1", foo=1)),
                             (lambda: quillet.sha1(b"", True), lambda: hashlib.sha1(b"", True)),
                             (lambda: quillet.sha1(foo=1), lambda: hashlib.sha1(foo=1))):
            with self.assertRaises(TypeError) as our_error:
                ours()
            with self.assertRaises(TypeError) as their_error:
                theirs()
            self.assertEqual(str(our_error.exception).replace("sha1()", "X()"),
                             str(their_error.exception).replace("openssl_sha1()", "X()"))

    def test_hash_objects_come_only_from_the_constructors(self):
        for make in (lambda: type(quillet.sha1())(), lambda: quillet.Hash(),
                     lambda: quillet._quillet.Hash()):
            with self.assertRaisesRegex(TypeError, "cannot create 'quillet.Hash' instances"):
                make()
        self.assertRaises(TypeError, object.__new__, quillet.Hash)
        with self.assertRaises(TypeError):
            class Derived(quillet.Hash):  # noqa: F841
                pass
        if sys.version_info >= (3, 10):  # before, types made at run time (hashlib's too) are not frozen
            with self.assertRaises((TypeError, AttributeError)):
                quillet.Hash.update = quillet.Hash.update

    def test_no_reference_is_lost_or_kept(self):
        data = bytes(5000)
        with tempfile.TemporaryFile() as f:
            f.write(data)
            f.flush()
            def churn():
                for name in SIZES:
                    h = quillet.new(name, data)
                    h.copy().update(b"x")
                    getattr(quillet, name)(b"ab").digest()
                    quillet.file_digest(io.BytesIO(data), name)
                    f.seek(0)
                    quillet.file_digest(f, getattr(quillet, name))
                    quillet.digest_many(name, [data, data[:100], b""])
                    for messages in ([data, "text"], [data, None]):
                        try:
                            quillet.digest_many(name, messages)
                        except TypeError:
                            pass
                    try:
                        quillet.new(name, "text")
                    except TypeError:
                        pass
            churn()
            before = (sys.getrefcount(quillet.Hash), sys.getrefcount(data))
            for _ in range(200):
                churn()
            self.assertEqual((sys.getrefcount(quillet.Hash), sys.getrefcount(data)), before)

    def test_names(self):
        self.assertEqual(quillet.new("SHA1").name, "sha1")
        with self.assertRaisesRegex(ValueError, "unsupported hash type sha256"):
            quillet.new("sha256")
        self.assertRaises(TypeError, quillet.new, b"sha1")
        with self.assertRaisesRegex(ValueError, "unsupported hash type sha256"):
            quillet.digest_many("sha256", [])
        self.assertRaises(TypeError, quillet.digest_many, b"sha1", [])

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


class NothingLeftTest(unittest.TestCase):
    @unittest.skipUnless(os.path.exists("/proc/self/maps"), "reads the stack through /proc")
    def test_no_digest_is_left_on_the_stack(self):
        # After each call, the main thread's stack (the memory below the
        # interpreter's frames included) holds no two words of the digest, in
        # either byte order. The digests are computed in another process, so
        # no copy of them comes from anything but the call.
        import ctypes
        data = bytes(range(256)) * 40
        script = ("import hashlib, sys; d = bytes(range(256)) * 40; "
                  "print(hashlib.sha1(d).hexdigest(), hashlib.md5(d).hexdigest())")
        sha1_hex, md5_hex = subprocess.run([sys.executable, "-c", script], capture_output=True,
                                           text=True, check=True).stdout.split()
        digests = {"sha1": bytes.fromhex(sha1_hex), "md5": bytes.fromhex(md5_hex)}

        def stack():
            with open("/proc/self/maps") as maps:
                for line in maps:
                    if line.rstrip().endswith("[stack]"):
                        low, high = (int(x, 16) for x in line.split()[0].split("-"))
                        return ctypes.string_at(low, high - low)
            self.skipTest("no [stack] mapping")

        calls = {"digest": lambda name: quillet.new(name, data).digest(),
                 "hexdigest": lambda name: quillet.new(name, data).hexdigest(),
                 "copy": lambda name: quillet.new(name, data).copy().digest(),
                 "digest_many": lambda name: quillet.digest_many(name, [data] * 8),
                 "file_digest": lambda name: quillet.file_digest(io.BytesIO(data), name).digest()}
        for call, make in calls.items():
            for name, digest in digests.items():
                with self.subTest(call=call, name=name):
                    make(name)
                    memory = stack()
                    words = [digest[at:at + 4] for at in range(0, len(digest), 4)]
                    found = sum(memory.count(w) + memory.count(w[::-1]) for w in words)
                    self.assertLess(found, 2)


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

    @unittest.skipUnless(HOOKS, "needs the module built for the tests (QUILLET_TEST_HOOKS=1)")
    def test_the_gil_is_let_go_from_2048_bytes_on(self):
        minsize = quillet._quillet._GIL_MINSIZE
        self.assertEqual(minsize, 2048)
        releases = quillet._quillet._gil_releases
        for size, released in ((minsize - 1, 0), (minsize, 1), (minsize + 1, 1), (0, 0)):
            data = bytes(size)
            for call in (quillet.StandardSHA, quillet.BrokenSHA, quillet.MD5,
                         lambda d: quillet.DoubleHashPassword(d, 1, 2),
                         lambda d: quillet.digest_many("md5", [d[:100], b"", d[100:]])):
                with self.subTest(size=size, call=call):
                    before = releases()
                    call(data)
                    self.assertEqual(releases() - before, released)
            for name in SIZES:
                with self.subTest(size=size, name=name):
                    before = releases()
                    h = quillet.new(name, data)
                    self.assertEqual((releases() - before, h._locked), (released, bool(released)))
                    h = quillet.new(name)
                    h.update(data)
                    self.assertEqual(h._locked, bool(released))
                    h.update(bytes(minsize - 1))
                    self.assertEqual(h._locked, bool(released))
                    self.assertEqual(h.copy()._locked, False)

    def test_the_gil_is_released_while_hashing(self):
        big = bytes(64 << 20)
        path = os.path.join(tempfile.mkdtemp(), "big")
        self.addCleanup(shutil.rmtree, os.path.dirname(path))
        with open(path, "wb") as f:
            f.write(big)

        def digest_file():
            with open(path, "rb") as f:
                quillet.file_digest(f, "sha1")
        for call in (lambda: quillet.sha1(big), lambda: quillet.md5().update(big),
                     lambda: quillet.BrokenSHA(big), digest_file,
                     lambda: quillet.digest_many("sha1", [big, big[1:]])):
            done = threading.Event()
            def hash_it():
                try:
                    call()
                finally:
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


class FileDigestTest(unittest.TestCase):
    """quillet.file_digest against hashlib.file_digest on every kind of file
    object, from wherever the object stands."""

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.data = RNG.randbytes(3 * (1 << 20) + 77)
        self.path = os.path.join(self.dir, "data")
        with open(self.path, "wb") as f:
            f.write(self.data)

    def opened(self):
        """(label, a fresh file object, the bytes hashlib will hash from it)."""
        d = self.data
        yield "open rb", open(self.path, "rb"), d
        yield "unbuffered", open(self.path, "rb", buffering=0), d
        f = open(self.path, "rb")
        f.read(10)  # read ahead into its buffer
        yield "read from", f, d[10:]
        f = open(self.path, "rb")
        f.seek(1 << 20)
        yield "seeked", f, d[1 << 20:]
        yield "BytesIO (all of it)", io.BytesIO(d), d
        b = io.BytesIO(d)
        b.read(5)
        yield "BytesIO read from", b, d
        read, write = os.pipe()
        threading.Thread(target=lambda: (os.write(write, d[:100000]), os.close(write)), daemon=True).start()
        yield "pipe", open(read, "rb"), d[:100000]

    def test_as_hashlib(self):
        for name in ("sha1", "md5"):
            for label, f, rest in self.opened():
                with self.subTest(name=name, file=label), f:
                    ours = quillet.file_digest(f, name if label != "unbuffered" else getattr(quillet, name))
                    self.assertEqual(ours.digest(), HASHLIB[name](rest).digest())
                    self.assertEqual(ours.name, name)
                    if not label.startswith("BytesIO") and label != "pipe":
                        self.assertEqual((f.read(), f.tell()), (b"", len(self.data)))
        for name, model in MODEL.items():
            with open(self.path, "rb") as f:
                self.assertEqual(quillet.file_digest(f, name).digest(), model(self.data))
        with open(self.path, "rb") as f:  # any constructor, hashlib's too
            self.assertEqual(quillet.file_digest(f, hashlib.sha256).digest(),
                             hashlib.sha256(self.data).digest())

    def test_readers_that_lie_resize_or_keep(self):
        # Each readinto() answer, with one of our digests, hashlib's and one
        # that keeps what update() is given: what file_digest returns (a
        # hexdigest) or raises. A count outside the buffer is refused, a
        # resize is the buffer's BufferError; what a digest keeps stays
        # readable, and wiped.
        got = isolated(self, """
            import hashlib, quillet
            class Reader:
                def __init__(self, answer): self.answer, self.calls = answer, 0
                def readable(self): return True
                def readinto(self, b):
                    self.calls += 1
                    return self.answer(self, b)
            class Keeper:
                def __init__(self): self.kept, self.seen = [], []
                def update(self, data):
                    self.kept.append(data)
                    self.seen.append(bytes(data))
                def hexdigest(self):
                    return hashlib.sha1(b"".join(self.seen)).hexdigest()
            def abc(r, b):
                b[:3] = b"abc"
                return 3 if r.calls < 4 else 0
            ANSWERS = {
                "beyond once": lambda r, b: 10**9 if r.calls == 1 else 0,
                "beyond by 100000": lambda r, b: len(b) + 100000,
                "one too many": lambda r, b: len(b) + 1,
                "negative": lambda r, b: -1,
                "far negative": lambda r, b: -10**30,
                "str": lambda r, b: "x",
                "None": lambda r, b: None,
                "float": lambda r, b: 1.5,
                "clears": lambda r, b: b.clear() or 0,
                "grows": lambda r, b: b.extend(bytes(1 << 20)) or 0,
                "whole buffer": lambda r, b: len(b) if r.calls == 1 else 0,
                "abc": abc,
            }
            out = {}
            for digest in ("sha1", "hashlib", "keeper"):
                for label, answer in ANSWERS.items():
                    keeper = Keeper()
                    make = {"sha1": "sha1", "hashlib": hashlib.sha1, "keeper": lambda: keeper}[digest]
                    try:
                        result = quillet.file_digest(Reader(answer), make, _bufsize=1000).hexdigest()
                    except Exception as e:
                        result = (type(e).__name__, str(e))
                    kept = [bytes(v) for v in keeper.kept]
                    out[digest, label] = (result, kept == [bytes(len(b)) for b in keeper.seen])
            print(out)
            """)
        abc, zeros = hashlib.sha1(b"abc" * 3).hexdigest(), hashlib.sha1(bytes(1000)).hexdigest()
        invalid = "readinto() returned invalid length {} (should have been between 0 and 1000)"
        resize = ("BufferError", "Existing exports of data: object cannot be re-sized")
        want = {
            "beyond once": ("ValueError", invalid.format(10**9)),
            "beyond by 100000": ("ValueError", invalid.format(101000)),
            "one too many": ("ValueError", invalid.format(1001)),
            "negative": ("ValueError", invalid.format(-1)),
            "far negative": ("ValueError", invalid.format(-10**30)),
            "str": "TypeError", "None": "TypeError", "float": "TypeError",
            "clears": resize, "grows": resize,
            "whole buffer": zeros, "abc": abc,
        }
        for (digest, label), (result, kept_wiped) in got.items():
            with self.subTest(digest=digest, answer=label):
                expected = want[label]
                self.assertEqual(result[0] if expected == "TypeError" else result, expected)
                self.assertTrue(kept_wiped)

    def test_refused_as_hashlib_refuses(self):
        write_only = os.path.join(self.dir, "written")
        with open(self.path, "r") as text, open(self.path, "rb") as binary, \
                open(write_only, "wb") as written, open(write_only, "ab", buffering=0) as raw:
            for fileobj in (text, object(), b"bytes", written, raw):
                with self.subTest(fileobj=fileobj):
                    with self.assertRaises(ValueError) as ours:
                        quillet.file_digest(fileobj, "sha1")
                    self.assertEqual(str(ours.exception),
                                     f"'{fileobj!r}' is not a file-like object in binary reading mode.")
                    if HASHLIB_FILE_DIGEST:
                        with self.assertRaises(ValueError) as theirs:
                            HASHLIB_FILE_DIGEST(fileobj, "sha1")
                        self.assertEqual(str(ours.exception), str(theirs.exception))
            self.assertRaisesRegex(ValueError, "unsupported hash type sha256", quillet.file_digest,
                                   binary, "sha256")
            self.assertRaises(TypeError, quillet.file_digest, binary)
            self.assertRaises(TypeError, quillet.file_digest, binary, "sha1", 5)
            # hashlib reads nothing with a buffer of no bytes and gives the
            # empty message's digest; a size that reads nothing is refused.
            for size in (0, -1):
                self.assertRaisesRegex(ValueError, "_bufsize must be positive",
                                       quillet.file_digest, binary, "sha1", _bufsize=size)
        closed = open(self.path, "rb")
        closed.close()
        self.assertRaises(ValueError, quillet.file_digest, closed, "sha1")


class ModuleStateTest(unittest.TestCase):
    def test_each_import_is_a_module_of_its_own(self):
        # Each load makes a new module, with a Hash type and a state of its
        # own; a module's objects go on working after it is dropped (their
        # type keeps it), count in their own module's state, and the module
        # is collected with the last of them.
        got = isolated(self, f"""
            import gc, hashlib, importlib, importlib.util, io, weakref
            import quillet._quillet as installed
            hooks = {HOOKS}
            out = [importlib.reload(installed) is installed]
            spec = importlib.util.find_spec("quillet._quillet")
            def load():
                module = importlib.util.module_from_spec(spec)
                spec.loader.exec_module(module)
                return module
            first, second = load(), load()
            out += [first is not second, len({{installed.Hash, first.Hash, second.Hash}}) == 3]
            old = first.sha1(b"ab")
            first_sha1, first_type = first.sha1, first.Hash
            first_releases = first._gil_releases if hooks else lambda: 0
            gone = weakref.ref(first)
            del first
            gc.collect()
            out.append(gone() is not None)
            second_releases = second._gil_releases if hooks else lambda: 0
            before = (first_releases(), second_releases())
            old.update(b"c" * 5000)
            out.append((first_releases() - before[0], second_releases() - before[1]))
            want = hashlib.sha1(b"ab" + b"c" * 5000).hexdigest()
            copied = old.copy()
            out += [old.hexdigest() == want, type(copied) is first_type, copied.hexdigest() == want]
            # One module's file_digest with the other's constructor.
            data = io.BytesIO(b"abc")
            out += [type(second.file_digest(data, first_sha1)) is first_type,
                    second.file_digest(data, first_sha1).hexdigest() == hashlib.sha1(b"abc").hexdigest(),
                    type(second.file_digest(data, "sha1")) is second.Hash]
            del old, copied, first_sha1, first_type, first_releases
            gc.collect()
            out.append(gone() is None)
            print(out)
            """)
        self.assertEqual(got, [True, True, True, True, (int(HOOKS), 0), True, True, True, True, True,
                               True, True])

    def test_sub_interpreters_have_modules_of_their_own(self):
        # The old kind (_testcapi's) and, from 3.13 on, isolated ones with a
        # GIL of their own (_interpreters), which refuse a module initialised
        # in a single phase.
        results = os.path.join(tempfile.mkdtemp(), "results")
        self.addCleanup(shutil.rmtree, os.path.dirname(results))
        got = isolated(self, f"""
            import ast, os, quillet
            os.environ["QUILLET_RESULTS"] = {results!r}
            code = {SUB_INTERPRETER_CODE!r}
            runs = []
            try:
                import _testcapi
                runs.append(lambda: _testcapi.run_in_subinterp(code) == 0)
            except ImportError:
                pass
            try:
                import _interpreters
                def run_isolated():
                    interpreter = _interpreters.create()
                    try:
                        error = _interpreters.run_string(interpreter, code)
                        return error is None or error.formatted
                    finally:
                        _interpreters.destroy(interpreter)
                runs.append(run_isolated)
            except ImportError:
                pass
            ran = [run() for run in runs]
            with open({results!r}) as f:
                lines = [ast.literal_eval(line) for line in f] if ran else []
            types = {{id(quillet.Hash)}} | {{kind for kind, _ in lines}}
            print([ran, [ok for _, ok in lines], len(types) == len(runs) + 1])
            """)
        if not got[0]:
            self.skipTest("needs _testcapi or _interpreters")
        self.assertEqual(got, [[True] * len(got[0]), [True] * len(got[0]), True])


class InterfaceTest(unittest.TestCase):
    @unittest.skipUnless(sys.platform.startswith("linux"), "reads an ELF file")
    def test_the_module_is_installed_without_debug_information(self):
        with open(quillet._quillet.__file__, "rb") as f:
            self.assertFalse(b".debug_info" in f.read(), "the module has a .debug_info section")

    def test_the_tests_hooks_are_only_in_a_build_for_the_tests(self):
        self.assertEqual((hasattr(quillet._quillet, "_gil_releases"), hasattr(quillet.sha1(), "_locked")),
                         (HOOKS, HOOKS))

    def test_signatures(self):
        h = quillet.sha1()
        want = {
            quillet.sha1: "(string=b'', *, usedforsecurity=True, data=None)",
            quillet.md5: "(string=b'', *, usedforsecurity=True, data=None)",
            quillet.broken_sha: "(string=b'', *, usedforsecurity=True, data=None)",
            quillet.lockdown_sha: "(string=b'', *, usedforsecurity=True, data=None)",
            quillet.new: "(name, data=b'', **kwargs)",
            quillet.file_digest: "(fileobj, digest, /, *, _bufsize=262144)",
            quillet.digest_many: "(name, messages)",
            quillet.StandardSHA: "(data, /)", quillet.BrokenSHA: "(data, /)",
            quillet.LockdownSHA: "(data, /)", quillet.MD5: "(data, /)",
            quillet.DoubleHashPassword: "(password, first_token, second_token)",
            h.update: "(obj, /)", h.digest: "()", h.hexdigest: "()", h.copy: "()",
        }
        for function, signature in want.items():
            with self.subTest(function=function):
                self.assertEqual(str(inspect.signature(function)), signature)
        self.assertEqual(str(inspect.signature(hashlib.sha1().update)), "(obj, /)")

    def test_version_is_the_librarys(self):
        with open(os.path.join(ROOT, "include", "quillet", "quillet.h")) as f:
            version = re.search(r'#define QUILLET_VERSION_STRING "([0-9.]+)"', f.read()).group(1)
        self.assertEqual(quillet.__version__, version)

    def test_every_public_name_exists_and_the_stubs_name_no_other(self):
        stub = os.path.join(os.path.dirname(quillet.__file__), "__init__.pyi")
        with open(stub) as f:
            text = f.read()
        names = set(re.findall(r"^(?:def|class) ([A-Za-z]\w*)", text, re.M))
        names |= set(re.findall(r"^([A-Za-z_]\w*):", text, re.M))
        self.assertEqual(names, set(quillet.__all__))
        for name in quillet.__all__:
            self.assertTrue(hasattr(quillet, name), name)

    @unittest.skipUnless(MYPY, "needs mypy (Debian's python3-mypy)")
    def test_the_stubs_accept_buffers_and_refuse_the_rest(self):
        stubs = os.path.dirname(os.path.dirname(quillet.__file__))
        sample = os.path.join(os.path.dirname(os.path.abspath(__file__)), "typing_sample.py")
        result = subprocess.run([*MYPY, "--strict", "--no-incremental", "--cache-dir", os.devnull,
                                 sample], capture_output=True, text=True,
                                env=dict(os.environ, MYPYPATH=stubs))
        errors = {int(line.split(":")[1]) for line in result.stdout.splitlines()
                  if ": error:" in line}
        with open(sample) as f:
            expected = {n for n, line in enumerate(f, 1) if "# refused" in line}
        self.assertEqual(errors, expected, result.stdout)


if __name__ == "__main__":
    unittest.main()
