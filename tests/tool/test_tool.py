"""The quillet tool run as a user runs it: a subprocess, compared with sha1sum
and md5sum on real files, and every error path."""

import hashlib
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "reference"))
import sha_variants  # noqa: E402

TOOL = os.environ.get("QUILLET_TOOL", "quillet")


def run(*args, stdin=b""):
    return subprocess.run([TOOL, *args], input=stdin, capture_output=True)


def coreutils(program, *files):
    return subprocess.run([program, *files], capture_output=True, check=True).stdout


class ToolTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.files = []
        for i, size in enumerate([0, 1, 55, 56, 64, 65, 1000, (1 << 20) + 13, 3 * (1 << 20)]):
            path = os.path.join(self.dir, f"file{i}.bin")
            with open(path, "wb") as f:
                f.write(os.urandom(size))
            self.files.append(path)

    def test_output_matches_sha1sum_and_md5sum(self):
        result = run("sha1", *self.files)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(result.stdout, coreutils("sha1sum", *self.files))
        result = run("md5", *self.files)
        self.assertEqual(result.returncode, 0)
        expected = coreutils("md5sum", *self.files)
        # MD5 is printed as the library's upper-case text.
        self.assertEqual(result.stdout, b"\n".join(
            line[:32].upper() + line[32:] for line in expected.split(b"\n")))

    def test_variants_against_the_model(self):
        for name, model in (("broken", sha_variants.broken_sha),
                            ("lockdown", sha_variants.lockdown_sha)):
            for path in self.files[:7]:
                with open(path, "rb") as f:
                    want = model(f.read()).hex()
                self.assertEqual(run(name, path).stdout.decode(), f"{want}  {path}\n")

    def test_standard_input_and_text(self):
        data = b"hello\x00world\n"
        self.assertEqual(run("sha1", stdin=data).stdout,
                         hashlib.sha1(data).hexdigest().encode() + b"  -\n")
        self.assertEqual(run("sha1", "-", stdin=data).stdout,
                         hashlib.sha1(data).hexdigest().encode() + b"  -\n")
        self.assertEqual(run("md5", "-s", "abc").stdout,
                         b'900150983CD24FB0D6963F7D28E17F72  "abc"\n')

    def test_unreadable_files_are_reported_and_the_rest_done(self):
        missing = os.path.join(self.dir, "missing")
        result = run("sha1", self.files[1], missing, self.dir, self.files[2])
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, coreutils("sha1sum", self.files[1], self.files[2]))
        errors = result.stderr.decode()
        self.assertIn(f"quillet: {missing}: No such file or directory", errors)
        self.assertIn(f"quillet: {self.dir}: Is a directory", errors)

    def test_check(self):
        listing = os.path.join(self.dir, "SHA1SUMS")
        with open(listing, "wb") as f:  # digests in upper case: either case is accepted
            f.write(b"".join(line[:40].upper() + line[40:] + b"\n"
                             for line in coreutils("sha1sum", *self.files).splitlines()))
        result = run("sha1", "--check", listing)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode(), "".join(f"{p}: OK\n" for p in self.files))

        with open(self.files[3], "r+b") as f:  # tamper with one file
            f.write(b"\xff" * 3)
        result = run("sha1", "-c", listing)
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"{self.files[3]}: FAILED\n", result.stdout.decode())
        self.assertIn("1 computed checksum did NOT match", result.stderr.decode())

        md5_list = os.path.join(self.dir, "MD5SUMS")
        with open(md5_list, "wb") as f:
            f.write(coreutils("md5sum", *self.files[:3]))
        self.assertEqual(run("md5", "-c", md5_list).returncode, 0)

    def test_check_reports_missing_and_malformed(self):
        listing = os.path.join(self.dir, "list")
        with open(listing, "w") as f:
            f.write(f"{'0' * 40}  {self.dir}/gone\nnot a checksum line\n")
        result = run("sha1", "-c", listing)
        self.assertEqual(result.returncode, 1)
        self.assertIn("gone: FAILED open or read", result.stdout.decode())
        self.assertIn("1 line is improperly formatted", result.stderr.decode())

    def test_password(self):
        cases = [(b"password\n", "0x12345678", "0xDEADBEEF", b"password", 0x12345678, 0xDEADBEEF),
                 (b"pass\x00word\r\n", "-1", "7", b"pass\x00word", 0xFFFFFFFF, 7),
                 (b"\n", "-2147483648", "4294967295", b"", 0x80000000, 0xFFFFFFFF),
                 (b"no newline", "0", "0X0000000a", b"no newline", 0, 10),
                 (b"two\nlines\n", "1", "2", b"two", 1, 2),
                 (b"keeps\rinner\r\r\n", "1", "2", b"keeps\rinner\r", 1, 2)]
        for stdin, first, second, password, a, b in cases:
            with self.subTest(stdin=stdin, first=first, second=second):
                result = run("password", first, second, stdin=stdin)
                self.assertEqual(result.returncode, 0, result.stderr)
                want = sha_variants.double_hash_password(password, a, b).hex()
                self.assertEqual(result.stdout.decode(), want + "\n")

    def test_bad_tokens_and_usage(self):
        for first, second in (("12x", "1"), ("1", "-2147483649"), ("4294967296", "1"),
                              ("0x100000000", "1"), ("1", ""), ("+5", "1"), ("0x", "1"),
                              ("1", "-0x1")):
            with self.subTest(first=first, second=second):
                result = run("password", first, second, stdin=b"pw\n")
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                bad = first if "invalid FIRST" in result.stderr.decode() else second
                self.assertIn(f"'{bad}'", result.stderr.decode())
        for args in (("frobnicate",), ("sha1", "--bogus"), (), ("password", "1"),
                     ("md5", "-s")):
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn(b"usage:", result.stderr)
        self.assertEqual(run("--version").stdout, b"quillet 0.0.0.6\n")
        self.assertEqual(run("--help").returncode, 0)

    def test_names_are_escaped_like_sha1sum(self):
        path = os.path.join(self.dir, "new\nline\\name")
        with open(path, "wb") as f:
            f.write(b"x")
        self.assertEqual(run("sha1", path).stdout, coreutils("sha1sum", path))


@unittest.skipUnless(os.environ.get("QUILLET_LARGE"), "set QUILLET_LARGE=1 for a file past 512 MiB")
class LargeFileTest(unittest.TestCase):
    def test_large_file_in_bounded_memory(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "large.bin")
            block = os.urandom(1 << 20)
            with open(path, "wb") as f:
                for _ in range(600):
                    f.write(block)
            for tool, command in (("sha1sum", "sha1"), ("md5sum", "md5")):
                want = coreutils(tool, path)
                got = run(command, path).stdout
                self.assertEqual(got.lower(), want.lower())
            peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
            print(f"peak resident size of the largest child: {peak_kib} KiB")
            self.assertLess(peak_kib, 32 * 1024)


if __name__ == "__main__":
    unittest.main()
