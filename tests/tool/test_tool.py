"""The quillet tool run as a user runs it: side by side with coreutils'
sha1sum and md5sum on the same files and lists (same output, same exit
status, the same messages but for the program's name), and the failures
coreutils has no peer for: write errors, injected read errors, the password
prompt on a pseudo-terminal, several jobs, progress."""

import atexit
import fcntl
import hashlib
import os
import pty
import random
import re
import resource
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "reference"))
import sha_variants  # noqa: E402

TOOL = os.environ.get("QUILLET_TOOL", "quillet")
# ThreadSanitizer holds a signal back while the thread it hits is blocked in a
# system call, so a signal at the prompt does not act until the read ends.
SIGNALS_DEFERRED = "thread" in os.environ.get("QUILLET_SANITIZED", "")
FAIL_SHIM = os.environ.get("QUILLET_FAIL_READ_SHIM")
PEERS = {"sha1": "sha1sum", "md5": "md5sum"}
# The tool under the names sha1sum and md5sum is those commands.
LINKS = tempfile.mkdtemp(prefix="quillet-links-")
atexit.register(shutil.rmtree, LINKS, True)
for _peer in PEERS.values():
    os.symlink(os.path.abspath(shutil.which(TOOL) or TOOL), os.path.join(LINKS, _peer))


def run(*args, stdin=b"", env=None, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=None):
    return subprocess.run([TOOL, *args], input=stdin, stdout=stdout, stderr=stderr,
                          env=env, cwd=cwd)


def contents(name):
    with open(name, "rb") as f:
        return f.read()


def hexdigest(algorithm, data):
    return hashlib.new(algorithm, data).hexdigest()


def as_peer(algorithm, *args, stdin=b"", env=None, peer=None):
    """The tool run as sha1sum or md5sum (its link), or with peer=True the
    real coreutils command."""
    name = PEERS[algorithm]
    # Both run by their bare name (argv[0]), as a shell runs them from PATH.
    program = shutil.which(name) if peer else os.path.join(LINKS, name)
    return subprocess.run([name, *args], executable=program, input=stdin, capture_output=True,
                          env=env)


class Scratch(unittest.TestCase):
    """A directory of files with every kind of name, the test's working
    directory."""

    NAMES = {"a": b"abc", "empty": b"", "sp ace": b"1", "back\\slash": b"2", "new\nline": b"3",
             "car\rriage": b"4", "ends\r": b"5", "-c": b"6", "star*": b"7", "pa)ren": b"8"}

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        self.old_cwd = os.getcwd()
        os.chdir(self.dir)
        self.addCleanup(os.chdir, self.old_cwd)
        for name, data in self.NAMES.items():
            self.write(name, data)
        self.write("big", os.urandom(3 * (1 << 20) + 5))

    def write(self, name, data):
        with open(name, "wb") as f:
            f.write(data)
        return name


class SideBySideTest(Scratch):
    def both(self, algorithm, args, stdin=b""):
        ours = run(algorithm, *args, stdin=stdin)
        theirs = subprocess.run([PEERS[algorithm], *args], input=stdin, capture_output=True)
        return ours, theirs

    def exactly_as_peer(self, algorithm, args, stdin=b"", env=None):
        """Installed as sha1sum/md5sum, the tool prints exactly what they do."""
        ours = as_peer(algorithm, *args, stdin=stdin, env=env)
        theirs = as_peer(algorithm, *args, stdin=stdin, env=env, peer=True)
        self.assertEqual((ours.stdout, ours.stderr, ours.returncode),
                         (theirs.stdout, theirs.stderr, theirs.returncode), f"as {PEERS[algorithm]} {args}")

    def same(self, algorithm, args, stdin=b"", usage=False):
        self.exactly_as_peer(algorithm, args, stdin)
        ours, theirs = self.both(algorithm, args, stdin)
        peer = PEERS[algorithm]
        expected_err = (theirs.stderr.replace(f"{peer}:".encode(), b"quillet:")
                        .replace(f"Try '{peer} --help'".encode(),
                                 f"Try 'quillet {algorithm} --help'".encode()))
        self.assertEqual(ours.stdout, theirs.stdout, f"stdout of {args}")
        self.assertEqual(ours.stderr, expected_err, f"stderr of {args}")
        if usage:  # coreutils exits 1 on a usage error, quillet 2
            self.assertEqual((ours.returncode, theirs.returncode), (2, 1), args)
        else:
            self.assertEqual(ours.returncode, theirs.returncode, args)

    def test_hashing(self):
        special = ["sp ace", "back\\slash", "new\nline", "car\rriage", "ends\r", "star*"]
        # Names in several directories, one after another in a batch: each is
        # looked up in its own (a linked one, a missing one, one named twice).
        os.makedirs("d1/sub")
        os.mkdir("d2")
        os.symlink("d1", "ln")
        for name, data in (("d1/x", b"x1"), ("d1/y", b"y1"), ("d2/x", b"x2"), ("d1/sub/x", b"x3")):
            self.write(name, data)
        # And a name longer than the system takes, whose directory part is
        # not (it would open on its own): "File name too long", as for sha1sum.
        deep = os.open(".", os.O_RDONLY)
        for _ in range(16):
            os.mkdir("d" * 250, dir_fd=deep)
            inner = os.open("d" * 250, os.O_RDONLY, dir_fd=deep)
            os.close(deep)
            deep = inner
        deep_file = os.open("x" * 200, os.O_WRONLY | os.O_CREAT, dir_fd=deep)
        os.write(deep_file, b"deep")
        os.close(deep_file)
        os.close(deep)
        too_long = "/".join(["d" * 250] * 16) + "/" + "x" * 200
        across = ["d1/x", "d2/x", "d1/y", "ln/x", "d1/sub/x", "d1/missing", "none/x", "d1/",
                  "d1/.", "d2/../d1/y", "./a", "d1//x", os.path.abspath("d2/x"), "d1/x", too_long]
        cases = [
            (across, b""),
            (["a", "empty", "big"], b""),
            ([], b"data\x00more"),
            (["-", "a", "-"], b"from stdin"),
            (["a", "missing", ".", "empty"], b""),
            (special, b""),
            (["--tag", "a", *special], b""),
            (["-z", "a", *special], b""),
            (["--tag", "-z", "a", "new\nline"], b""),
            (["-b", "a", "sp ace", "new\nline"], b""),
            (["-t", "a"], b""),
            (["--tag", "-b", "a"], b""),
            (["-bz", "a"], b""),
            (["a", "--tag", "empty"], b""),
            (["--", "-c", "a"], b""),
            (["--ta", "a"], b""),
            (["--tag"], b"abc"),
            (["-bt", "a"], b""),
            (["-tb", "a"], b""),
            (["--tag", "-t", "-b", "a"], b""),
            (["-t", "--tag", "a"], b""),
            (["pa)ren", "--", "--tag"], b""),
        ]
        for algorithm in PEERS:
            for args, stdin in cases:
                # md5sum writes lower case; so does quillet md5 --lower.
                extra = ["--lower"] if algorithm == "md5" else []
                with self.subTest(algorithm=algorithm, args=args):
                    ours = run(algorithm, *extra, *args, stdin=stdin)
                    theirs = subprocess.run([PEERS[algorithm], *args], input=stdin,
                                            capture_output=True)
                    self.assertEqual(ours.stdout, theirs.stdout)
                    self.assertEqual(ours.returncode, theirs.returncode)
                    self.assertEqual(ours.stderr,
                                     theirs.stderr.replace(f"{PEERS[algorithm]}:".encode(),
                                                           b"quillet:"))
                    self.exactly_as_peer(algorithm, args, stdin)

    def test_usage_errors(self):
        # Several conflicts at once: the message sha1sum gives wins.
        for args in (["--bogus"], ["-x", "a"], ["--ignore-missing", "a"], ["--quiet", "a"],
                     ["--status"], ["-w", "a"], ["--strict"], ["--tag", "-t", "a"],
                     ["-c", "--tag", "x"], ["-c", "-b", "x"], ["--tag=1", "a"],
                     ["--tag", "-b", "-t", "a"], ["-c", "-z", "a"], ["-c", "-z", "--tag", "a"],
                     ["-c", "--tag", "-b", "a"], ["-z", "-c", "-b", "a"], ["-bc", "a"],
                     ["-t", "-c", "a"], ["--tag", "-t", "-c", "a"], ["--quiet", "--status", "a"],
                     ["--status", "--quiet", "a"], ["--strict", "-w", "a"], ["-w", "--quiet", "a"],
                     ["--strict", "--ignore-missing", "a"], ["--strict", "-z", "a"],
                     ["--foo=bar"], ["--chec=x", "a"], ["---x"], ["--ignore=1"], ["--", "--tag"]):
            with self.subTest(args=args):
                self.same("sha1", args, usage=args[0] != "--")
        # Abbreviations: sha1sum's own options only, so its ambiguities.
        for args in (["--s", "a"], ["--st=1", "a"], ["--=", "a"], ["--stat", "a"], ["--str", "a"]):
            with self.subTest(args=args):
                self.exactly_as_peer("sha1", args)
                self.exactly_as_peer("md5", args)
        self.assertIn(b"possibilities: '--status' '--strict' '--string'", run("sha1", "--s", "a").stderr)
        self.assertIn(b"ambiguous", run("sha1", "--st", "a").stderr)
        # The tool's own options are not sha1sum's.
        for args in (["-j2", "a"], ["-s", "abc"], ["--lower", "a"], ["--no-progress", "a"]):
            with self.subTest(args=args):
                self.exactly_as_peer("sha1", args)

    def test_options_end_at_the_first_operand_when_posixly_correct(self):
        env = dict(os.environ, POSIXLY_CORRECT="1")
        for args in (["a", "--tag"], ["--tag", "a", "-b"], ["a", "-c"], ["-", "--tag"]):
            with self.subTest(args=args):
                self.exactly_as_peer("sha1", args, stdin=b"in", env=env)
        self.assertEqual(run("sha1", "a", "--tag", env=env).stderr,
                         b"quillet: --tag: No such file or directory\n")
        self.assertEqual(run("sha1", "a", "--tag").stdout,
                         f"SHA1 (a) = {hexdigest('sha1', b'abc')}\n".encode())

    def test_names_in_messages_are_quoted_as_coreutils_quotes_them(self):
        names = ["a=b", "c:d", "x^y", "{x}", "{", "r]", "h#", "t~", "#h", "~t", "it's", "\ta", "",
                 "a b", "a\x7fb", "'", "''", "a'b\"c", "a\"b", "\x01", "a\nb", "\u00e9", "a!b",
                 "a$b", "a\\b", "a,b", "a%b", "a@b", "a+b", "a?b", "a*b", "a[b", "a{b", "a&b",
                 "a;b", "a<b", "a|b", "a`b", "a(b", "it's\t", "a'b\tc", "'\t", "\t'", "x\ty'z",
                 "ab'cd'e\x01", "a'b c", "a'b\\c", "a'b$c", "a:b'c", "\x1b[31m", "h#'", "a'~"]
        rng = random.Random(7)
        raw = [n.encode() for n in names] + [b"a\x80b", b"\xff", b"\xc3\xa9'", b"\xe2\x82"]
        raw += [bytes(rng.randrange(1, 256) for _ in range(rng.randrange(1, 6))) for _ in range(150)]
        # Every byte alone, first, inside and last, and beside a quote or a
        # backslash; then UTF-8: valid sequences of each length, unprintable
        # characters, and cut-off, overlong, surrogate and stray bytes.
        for b in (bytes([i]) for i in range(1, 256)):
            raw += [b, b + b"x", b"x" + b + b"y", b"x" + b]
            raw += [b"'" + b, b + b"'", b"\\" + b, b + b"\\", b"a'" + b + b"c"]
        utf8 = [b"\xc3\xa9", b"\xe2\x82\xac", b"\xf0\x9f\x98\x80", b"\xc2\x85", b"\xe2\x80\x8b",
                b"\xe2\x80\xa8", b"\xc3", b"\xe2\x82", b"\xf0\x9f\x98", b"\xc0\xaf", b"\xe0\x80\xaf",
                b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"\x80", b"\xbf", b"\xfe"]
        for u in utf8:
            raw += [u, b"a" + u + b"b", u + b"'", b"'" + u, b"a'" + u, u + b"\t", b"x " + u]
        raw = list(dict.fromkeys(n for n in raw if b"/" not in n and not os.path.lexists(n)))
        for locale in ("C", "C.UTF-8"):
            env = dict(os.environ, LC_ALL=locale)
            # One run for all the names (after "--": some begin with "-"):
            # each missing name is one message line, and no quoted name
            # holds a newline.
            ours = as_peer("sha1", "--", *raw, env=env)
            theirs = as_peer("sha1", "--", *raw, env=env, peer=True)
            self.assertEqual(ours.returncode, theirs.returncode)
            for name, mine, peer in zip(raw, ours.stderr.split(b"\n"), theirs.stderr.split(b"\n")):
                self.assertEqual(mine, peer, f"{locale}: {name!r}")
            self.assertEqual(ours.stderr, theirs.stderr, locale)
            self.exactly_as_peer("sha1", [b"", b"a\nb"], env=env)

    def checks(self, algorithm):
        """(list file contents, extra args, stdin) checked side by side."""
        digest = lambda name: hexdigest(algorithm, self.NAMES.get(name, b""))  # noqa: E731
        tag = "SHA1" if algorithm == "sha1" else "MD5"
        good = subprocess.run([PEERS[algorithm], "a", "empty", "sp ace", "back\\slash",
                               "new\nline", "car\rriage", "ends\r", "star*", "--", "-c"],
                              capture_output=True, check=True).stdout
        zero = "0" * len(digest("a"))
        newline_digest = digest("new\nline")
        return [
            (good, []),
            (good.upper().replace(b"  ", b"  "), []),  # names upper-cased too: all missing
            (good.replace(digest("a").encode(), digest("a").upper().encode()), []),
            (f"{zero}  a\n".encode() + good, []),
            (f"{digest('a')}  a\n{zero}  missing\n".encode(), []),
            (f"{digest('a')}  a\n{zero}  missing\n".encode(), ["--ignore-missing"]),
            (f"{zero}  missing\n".encode(), ["--ignore-missing"]),
            (f"{digest('a')}  a\n{zero}  .\n".encode(), ["--ignore-missing"]),  # unreadable, not missing
            (f"{digest('a')}  a\njunk\n\n# comment\n{zero}  empty\n".encode(), []),
            (f"{digest('a')}  a\njunk\n{zero}  empty\n".encode(), ["-w"]),
            (f"{digest('a')}  a\njunk\n".encode(), ["--strict"]),
            (f"{digest('a')}  a\njunk\n{zero}  empty\n".encode(), ["--quiet"]),
            (f"{digest('a')}  a\n".encode(), ["--quiet"]),
            (f"{digest('a')}  a\njunk\n{zero}  empty\n{zero}  missing\n".encode(), ["--status"]),
            (f"{digest('a')}  a\r\n{digest('empty')}  empty\r\n".encode(), []),
            (f"{tag} (a) = {digest('a')}\n{tag} (sp ace) = {digest('sp ace')}\n".encode(), []),
            (f"{tag}(a)= {digest('a')}\n".encode(), []),
            (f"\\{tag} (new\\nline) = {newline_digest}\n".encode(), []),
            (f"{digest('a')}\ta\n".encode(), []),
            (f"  \t{digest('a')}  a\n".encode(), []),
            (f"{digest('a')} a\n{digest('empty')} empty\n".encode(), []),
            (f"{digest('a')}  a\n{digest('empty')} empty\n".encode(), []),
            (f"{digest('a')} *a\n".encode(), []),
            (f"{digest('a')}  a".encode(), []),
            (f"\\{digest('a')}  car\\rriage\n".encode(), []),
            (f"\\{digest('a')}  back\\\\slash\n\\{digest('a')}  bad\\tescape\n".encode(), []),
            (f"{digest('a')}  ends\r\r\n".encode(), []),
            (b"", []),
            (b"\n\n# only comments\n", []),
            (f"{digest('a')[:-1]}  a\n{digest('a')}x  a\n".encode(), []),
            # A NUL ends the name of an unescaped line; an escaped name or a
            # digest with one is misformatted.
            (f"{digest('a')}  a\0junk\n{digest('a')}  \0x\n".encode(), []),
            (f"{tag} (a\0x) = {digest('a')}\n\\{digest('a')}  a\0\\x\n".encode(), ["-w"]),
            (f"\\{digest('a')}  a\0b\n\\{tag} (a\0) = {digest('a')}\n{digest('a')}  a\n".encode(), ["-w"]),
            (f"{digest('a')[:5]}\0{digest('a')[6:]}  a\n".encode(), ["-w"]),
            (f"{tag} (pa)ren) = {digest('pa)ren')}\n".encode(), []),
            # -w, --quiet and --status exclude each other: the last one counts.
            (f"{digest('a')}  a\njunk\n{zero}  empty\n".encode(), ["--status", "-w"]),
            (f"{digest('a')}  a\njunk\n{zero}  empty\n".encode(), ["-w", "--quiet"]),
            (f"{digest('a')}  a\njunk\n{zero}  empty\n".encode(), ["--quiet", "--status"]),
        ]

    def test_checking(self):
        for algorithm in PEERS:
            for contents, extra in self.checks(algorithm):
                with self.subTest(algorithm=algorithm, list=contents[:200], extra=extra):
                    self.write("list", contents)
                    self.same(algorithm, ["-c", *extra, "list"])
                    self.same(algorithm, [*extra, "--check"], stdin=contents)

    def test_checking_several_lists_and_odd_ones(self):
        self.write("one", f"{hexdigest('sha1', b'abc')}  a\n".encode())
        self.write("two", f"{'0' * 40}  empty\n".encode())
        stdin_list = f"{hexdigest('sha1', b'abc')}  a\n{hexdigest('sha1', b'x')}  -\n{'0' * 40}  empty\n"
        for args, stdin in ((["-c", "one", "two"], b""), (["-c", "one", "missing-list"], b""),
                            (["-c", "."], b""), (["-cw", "two", "one"], b""),
                            (["-c", "--quiet", "one"], b""), (["-c", "-"], stdin_list.encode()),
                            (["-c", "one", "-"], stdin_list.encode()), (["-c"], b"")):
            with self.subTest(args=args):
                self.same("sha1", args, stdin)

    def test_mixed_line_forms_across_lists(self):
        # The one-blank form, once seen, is the only one taken afterwards.
        self.write("reversed", f"{hexdigest('sha1', b'abc')} a\n".encode())
        self.write("standard", f"{hexdigest('sha1', b'abc')}  a\n".encode())
        self.same("sha1", ["-c", "reversed", "standard"])
        self.same("sha1", ["-c", "standard", "reversed"])


class InputsReadOnceTest(Scratch):
    """Standard input, pipes and devices are read by one reader, in the
    order given, as sha1sum reads them; regular files by any number."""

    def fifo(self, name, *payloads):
        """A FIFO that is written once for each payload, by a writer that
        opens it anew each time, once the reader of the last one is done."""
        os.mkfifo(name)

        def feed():
            for payload in payloads:
                with open(name, "wb") as f:
                    f.write(payload)
                time.sleep(0.5)
        writer = threading.Thread(target=feed, daemon=True)
        writer.start()
        self.addCleanup(writer.join, 10)
        return name

    def test_standard_input_and_pipes_are_read_in_order(self):
        data = contents("big")
        for jobs in ("1", "2", "8"):
            with self.subTest(jobs=jobs):
                # "-" and /dev/stdin are one pipe: all of it for the first.
                with subprocess.Popen(["cat", "big"], stdout=subprocess.PIPE) as pipe:
                    ours = subprocess.run([TOOL, "sha1", "-j", jobs, "-", "a", "/dev/stdin"],
                                          stdin=pipe.stdout, capture_output=True)
                self.assertEqual(ours.stdout.decode().splitlines(), [
                    f"{hexdigest('sha1', data)}  -", f"{hexdigest('sha1', b'abc')}  a",
                    f"{hexdigest('sha1', b'')}  /dev/stdin"])
                # Standard input a regular file, named twice: one reader.
                with open("big", "rb") as f:
                    ours = subprocess.run([TOOL, "sha1", "-j", jobs, "-", "-"], stdin=f,
                                          capture_output=True)
                self.assertEqual(ours.stdout.decode().splitlines(), [
                    f"{hexdigest('sha1', data)}  -", f"{hexdigest('sha1', b'')}  -"])
                # The same FIFO twice: each reader gets what was written for it.
                fifo = self.fifo(f"ff{jobs}", data, b"second")
                ours = run("sha1", "-j", jobs, fifo, "big", fifo)
                self.assertEqual(ours.stdout.decode().splitlines(), [
                    f"{hexdigest('sha1', data)}  {fifo}", f"{hexdigest('sha1', data)}  big",
                    f"{hexdigest('sha1', b'second')}  {fifo}"])
                self.assertEqual(ours.returncode, 0)

    def test_a_descriptor_passed_by_name(self):
        with open("big", "rb") as f:
            result = subprocess.run([TOOL, "sha1", "-j2", f"/dev/fd/{f.fileno()}", "a"],
                                    pass_fds=[f.fileno()], capture_output=True)
        self.assertEqual(result.stdout.split(b" ")[0].decode(),
                         hexdigest("sha1", contents("big")))

    def test_closed_standard_descriptors_are_never_taken_by_a_file(self):
        # With standard input closed, no file opened later may become
        # descriptor 0 and be read as "-" at the same time.
        for jobs in ("1", "2", "4"):
            with self.subTest(jobs=jobs):
                closed = lambda: os.close(0)  # noqa: E731
                ours = subprocess.run([TOOL, "sha1", "-j", jobs, "big", "-", "a"], capture_output=True,
                                      stdin=subprocess.DEVNULL, preexec_fn=closed)
                theirs = subprocess.run(["sha1sum", "big", "-", "a"], capture_output=True,
                                        stdin=subprocess.DEVNULL, preexec_fn=closed)
                self.assertEqual(ours.stdout, theirs.stdout)
                self.assertEqual(ours.stderr, theirs.stderr.replace(b"sha1sum:", b"quillet:"))
                self.assertEqual(ours.returncode, 1)
        # (Standard output closed: FailureTest.test_write_errors.)

    def test_checking_many_files_at_once_keeps_the_list_order(self):
        names = [self.write(f"f{i}", os.urandom(i * 101)) for i in range(120)]
        lines = []
        for i, name in enumerate(names):
            digest = hexdigest("sha1", contents(name))
            if i % 17 == 3:
                digest = "0" * 40
            lines.append(f"{digest}  {name}")
            if i % 23 == 5:
                lines.append("junk")
            if i % 31 == 7:
                lines.append(f"{digest}  missing{i}")
        self.write("list", ("\n".join(lines) + "\n").encode())
        theirs = subprocess.run(["sha1sum", "-c", "-w", "list"], capture_output=True)
        for jobs in ("1", "2", "7"):
            with self.subTest(jobs=jobs):
                ours = run("sha1", "-c", "-w", "-j", jobs, "list", stderr=subprocess.STDOUT)
                merged = subprocess.run(["sha1sum", "-c", "-w", "list"], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT).stdout
                self.assertEqual(ours.stdout, merged.replace(b"sha1sum:", b"quillet:"))
                self.assertEqual(ours.returncode, theirs.returncode)

    @unittest.skipIf(os.environ.get("QUILLET_SANITIZED"),
                     "a sanitized tool needs more address space than the limit leaves")
    def test_fewer_threads_when_they_cannot_be_had(self):
        names = [self.write(f"g{i}", os.urandom(1000 + i)) for i in range(20)]
        want = subprocess.run(["sha1sum", *names], capture_output=True).stdout

        def small_address_space():
            resource.setrlimit(resource.RLIMIT_AS, (200_000 * 1024, 200_000 * 1024))
        result = subprocess.run([TOOL, "sha1", "-j", "64", *names], capture_output=True,
                                preexec_fn=small_address_space)
        self.assertEqual((result.stdout, result.returncode), (want, 0), result.stderr)

    def test_a_process_short_of_descriptors_reads_every_file(self):
        # Descriptors inherited and few left free: the tool must release what
        # it holds (files read, directories kept for lookups) and read every
        # file as sha1sum does, with one or many threads. Rows: descriptors
        # inherited, left free, jobs, files, in a subdirectory, and which
        # file's first open is refused for want of descriptors (every 40th
        # file is large, the sixth small).
        os.mkdir("d1")
        for inherited, free, jobs, count, subdirectory, refused in (
                (0, 1, "1", 2, True, None),  # ulimit -n 4
                (90, 2, "1", 40, False, None), (95, 2, "1", 600, True, None),
                (95, 2, "2", 600, True, None), (95, 2, "16", 600, True, None),
                (95, 5, "2", 600, True, None), (0, 1, "16", 600, True, None),
                (0, 50, "1", 200, False, 5), (0, 50, "2", 200, False, 47)):
            if refused is not None and not FAIL_SHIM:
                continue
            with self.subTest(inherited=inherited, free=free, jobs=jobs, refused=refused):
                names = [self.write(os.path.join("d1" if subdirectory else "", f"h{i}"),
                                    os.urandom(100_000 if i % 40 == 7 else 37 * i % 5000))
                         for i in range(count)]
                spare = [os.open(os.devnull, os.O_RDONLY) for _ in range(inherited)]
                try:
                    soft = 3 + inherited + free

                    def few_descriptors():
                        resource.setrlimit(resource.RLIMIT_NOFILE,
                                           (soft, resource.getrlimit(resource.RLIMIT_NOFILE)[1]))
                    want = subprocess.run(["sha1sum", *names], capture_output=True,
                                          pass_fds=spare, preexec_fn=few_descriptors)
                    env = os.environ if refused is None else dict(
                        os.environ, LD_PRELOAD=FAIL_SHIM, QUILLET_EMFILE_PATH=names[refused])
                    ours = subprocess.run([TOOL, "sha1", "-j", jobs, *names], capture_output=True,
                                          pass_fds=spare, preexec_fn=few_descriptors, timeout=60,
                                          env=env)
                finally:
                    for fd in spare:
                        os.close(fd)
                self.assertEqual(want.returncode, 0, want.stderr)
                self.assertEqual((ours.stdout, ours.stderr, ours.returncode),
                                 (want.stdout, b"", 0))

    @unittest.skipUnless(FAIL_SHIM, "needs the read shim (QUILLET_FAIL_READ_SHIM)")
    def test_a_small_file_that_grew_is_hashed_whole(self):
        # Looked at with 1000 bytes, it has 9000 when it is read.
        env = dict(os.environ, LD_PRELOAD=FAIL_SHIM, QUILLET_FAIL_PATH="grows",
                   QUILLET_FAIL_AT="0", QUILLET_GROW_BY="8000")
        for jobs in ("1", "2"):
            with self.subTest(jobs=jobs):
                self.write("grows", os.urandom(1000))
                ours = subprocess.run([TOOL, "sha1", "-j", jobs, "a", "grows", "empty"],
                                      env=env, capture_output=True, timeout=20)
                self.assertEqual(len(contents("grows")), 9000)
                theirs = subprocess.run(["sha1sum", "a", "grows", "empty"], capture_output=True)
                self.assertEqual((ours.stdout, ours.returncode), (theirs.stdout, 0), ours.stderr)

    @unittest.skipUnless(FAIL_SHIM, "needs the read shim (QUILLET_FAIL_READ_SHIM)")
    def test_a_file_replaced_by_a_fifo_is_read_as_a_fifo(self):
        # Looked at as a regular file, a FIFO (with a writer, no data yet)
        # when opened: read in turn, what the FIFO delivers, as sha1sum
        # reads a FIFO of that name.
        data = "what the fifo delivers\n"
        env = dict(os.environ, LD_PRELOAD=FAIL_SHIM, QUILLET_FIFO="victim", QUILLET_FIFO_DATA=data)
        for jobs in ("1", "2"):
            with self.subTest(jobs=jobs):
                if os.path.exists("victim"):
                    os.unlink("victim")
                self.write("victim", os.urandom(500))
                ours = subprocess.run([TOOL, "sha1", "-j", jobs, "a", "victim", "empty"], env=env,
                                      capture_output=True, timeout=20)
                os.unlink("victim")
                self.write("victim", data.encode())
                theirs = subprocess.run(["sha1sum", "a", "victim", "empty"], capture_output=True)
                self.assertEqual((ours.stdout, ours.stderr, ours.returncode),
                                 (theirs.stdout, b"", 0))

    @unittest.skipUnless(FAIL_SHIM, "needs the read shim (QUILLET_FAIL_READ_SHIM)")
    def test_one_job_is_one_thread(self):
        env = dict(os.environ, LD_PRELOAD=FAIL_SHIM, QUILLET_FAIL_PATH="big", QUILLET_FAIL_AT="0",
                   QUILLET_SLOW_MS="150", QUILLET_READ_MAX="262144")
        for jobs, most in (("1", 1), ("3", 3)):
            with self.subTest(jobs=jobs):
                process = subprocess.Popen([TOOL, "sha1", "-j", jobs, "big", "a", "empty", "big"],
                                           env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                seen = 0
                while process.poll() is None:
                    try:
                        seen = max(seen, len(os.listdir(f"/proc/{process.pid}/task")))
                    except FileNotFoundError:
                        break
                    time.sleep(0.05)
                out, _ = process.communicate()
                self.assertEqual(out.count(b"\n"), 4)
                if jobs == "1":
                    self.assertEqual(seen, 1)
                else:
                    self.assertTrue(1 < seen <= most, seen)


class FailureTest(Scratch):
    """Every failure ends in a message and a non-zero status."""

    def test_write_errors(self):
        self.write("list", f"{hexdigest('sha1', b'abc')}  a\n".encode())
        with open("/dev/full", "wb") as full:
            for args, stdin in ((["sha1", "a"], b""), (["sha1", "-c", "list"], b""),
                                (["md5", "-s", "x"], b""), (["password", "1", "2"], b"pw\n"),
                                (["--help"], b""), (["sha1", "--help"], b""), (["--version"], b"")):
                with self.subTest(args=args):
                    ours = run(*args, stdin=stdin, stdout=full)
                    self.assertEqual((ours.returncode, ours.stderr), (1, b"quillet: write error\n"))
        # Installed as sha1sum and run by a path: messages begin with the
        # path, and each kind of lost output reads as sha1sum's message.
        read, write = os.pipe()
        os.close(read)
        self.addCleanup(os.close, write)
        readonly = os.open("a", os.O_RDONLY)
        self.addCleanup(os.close, readonly)
        outputs = {"full disk": lambda: os.dup2(os.open("/dev/full", os.O_WRONLY), 1),
                   "closed pipe": lambda: os.dup2(write, 1),
                   "read-only": lambda: os.dup2(readonly, 1),
                   "closed": lambda: os.close(1), "a pipe": None}
        for output, redirect in outputs.items():
            for args in (["a"], ["-c", "list"], ["missing"], ["--help"], ["--bogus"]):
                with self.subTest(output=output, args=args):
                    results = []
                    for program in (os.path.join(LINKS, "sha1sum"), shutil.which("sha1sum")):
                        done = subprocess.run([program, *args], preexec_fn=redirect,
                                              stdout=subprocess.PIPE if redirect is None else None,
                                              stderr=subprocess.PIPE)
                        results.append((done.stderr.replace(program.encode(), b"PROG"),
                                        done.returncode))
                        if done.stdout is not None and args != ["--help"]:
                            results.append(done.stdout)
                    self.assertEqual(results[:len(results) // 2], results[len(results) // 2:])
                    self.assertTrue(results[0][0].startswith(b"PROG: ") or results[0][0] == b"",
                                    results[0])

    @unittest.skipUnless(FAIL_SHIM, "needs the read-error shim (QUILLET_FAIL_READ_SHIM)")
    def test_read_errors(self):
        # A list of 2000 lines, read 64 KiB at a time: its second read fails.
        line = f"{hexdigest('sha1', b'abc')}  a\n"
        self.write("list", (line * 2000).encode())
        env = dict(os.environ, LD_PRELOAD=FAIL_SHIM, QUILLET_FAIL_PATH="list")
        result = run("sha1", "-c", "list", env=env)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"quillet: list: read error", result.stderr)
        self.assertLess(result.stdout.count(b"a: OK"), 2000)
        # A hashed file's second read fails: no digest line, the rest done.
        env["QUILLET_FAIL_PATH"] = "big"
        result = run("sha1", "a", "big", "empty", env=env)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"quillet: big: Input/output error", result.stderr)
        self.assertEqual(result.stdout.count(b"\n"), 2)
        self.assertNotIn(b"big", result.stdout)
        # And in a list: that file fails, the others are checked.
        self.write("list", f"{hexdigest('sha1', contents('big'))}  big\n{line}".encode())
        result = run("sha1", "-c", "list", env=env)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"big: FAILED open or read\na: OK\n")

    def test_a_closed_pipe_ends_the_tool_as_it_ends_sha1sum(self):
        for command in ([TOOL, "sha1", "big", "big"], ["sha1sum", "big", "big"]):
            with self.subTest(command=command[0]):
                read, write = os.pipe()
                os.close(read)
                process = subprocess.run(command, stdout=write, stderr=subprocess.PIPE,
                                         preexec_fn=lambda: signal.signal(signal.SIGPIPE, signal.SIG_DFL))
                os.close(write)
                self.assertEqual((process.returncode, process.stderr), (-signal.SIGPIPE, b""))

    def test_messages_keep_their_place_among_results(self):
        # One pipe for both streams: each message comes after the results
        # before it, and -s texts come in the order given.
        result = run("sha1", "a", "missing", "-s", "x", "empty", stderr=subprocess.STDOUT)
        self.assertEqual(result.stdout.decode().splitlines(), [
            f"{hexdigest('sha1', b'abc')}  a",
            "quillet: missing: No such file or directory",
            f'{hexdigest("sha1", b"x")}  "x"',
            f"{hexdigest('sha1', b'')}  empty"])


class DigestTest(Scratch):
    def test_variants_against_the_model(self):
        for command, model in (("broken", sha_variants.broken_sha),
                               ("lockdown", sha_variants.lockdown_sha)):
            for name in ("a", "empty", "big"):
                with open(name, "rb") as f:
                    want = model(f.read()).hex()
                self.assertEqual(run(command, name).stdout.decode(), f"{want}  {name}\n")

    def test_md5_case(self):
        self.assertEqual(run("md5", "-s", "abc").stdout,
                         b'900150983CD24FB0D6963F7D28E17F72  "abc"\n')
        self.assertEqual(run("md5", "--lower", "a").stdout,
                         subprocess.run(["md5sum", "a"], capture_output=True).stdout)
        self.assertEqual(run("md5", "--tag", "a").stdout,
                         b"MD5 (a) = 900150983CD24FB0D6963F7D28E17F72\n")

    def test_option_values_attached_or_apart(self):
        abc = f'{hexdigest("sha1", b"abc")}  "abc"\n'.encode()
        for args in (["-sabc"], ["-s", "abc"], ["--string=abc"], ["--string", "abc"], ["-bsabc"],
                     ["--strin=abc"]):
            with self.subTest(args=args):
                result = run("sha1", *args)
                self.assertEqual(result.stdout, abc.replace(b"  ", b" *") if "-bsabc" in args else abc)
        self.assertEqual(run("sha1", "-s-j4").stdout, f'{hexdigest("sha1", b"-j4")}  "-j4"\n'.encode())
        for args in (["-j4", "a"], ["-j", "4", "a"], ["--jobs=4", "a"], ["--jobs", "4", "a"], ["-bj4", "a"]):
            with self.subTest(args=args):
                result = run("sha1", *args)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertIn(f"{hexdigest('sha1', b'abc')}".encode(), result.stdout)
        for bad in ("0", "-1", "x", "", "1025", "+2", "4x"):
            with self.subTest(jobs=bad):
                self.assertEqual(run("sha1", f"--jobs={bad}", "a").returncode, 2)
        # -s follows --lower wherever it stands.
        for args in (["--lower", "-s", "abc"], ["-s", "abc", "--lower"]):
            self.assertEqual(run("md5", *args).stdout, b'900150983cd24fb0d6963f7d28e17f72  "abc"\n')

    def test_jobs_keep_the_order(self):
        # Batches of small files with large ones, empty ones, a file of no
        # stated size (/proc) and a missing one among them.
        names = [self.write(f"f{i}", os.urandom(i * 37)) for i in range(150)]
        names.insert(70, "missing")
        names.insert(20, self.write("large", os.urandom(300_000)))
        names.insert(100, self.write("just-small", os.urandom(64 * 1024)))
        names.insert(101, self.write("just-large", os.urandom(64 * 1024 + 1)))
        names.insert(5, "/proc/version")
        theirs = subprocess.run(["sha1sum", *names], capture_output=True)
        for jobs in ("1", "3", "8"):
            with self.subTest(jobs=jobs):
                ours = run("sha1", "-j", jobs, *names)
                self.assertEqual(ours.stdout, theirs.stdout)
                self.assertEqual(ours.returncode, 1)
        self.assertEqual(run("sha1", "-j0", "a").returncode, 2)

    def test_help_and_version(self):
        for args in (["--help"], ["sha1", "--help"], ["md5", "--help"], ["password", "--help"]):
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 0)
                self.assertIn(b"usage: quillet", result.stdout)
        self.assertEqual(run("--version").stdout, b"quillet 0.0.0.6\n")
        self.assertEqual(run("sha1", "--version").stdout, b"quillet 0.0.0.6\n")


class PasswordTest(Scratch):
    def test_password(self):
        cases = [(b"password\n", "0x12345678", "0xDEADBEEF", b"password", 0x12345678, 0xDEADBEEF),
                 (b"pass\x00word\r\n", "-1", "7", b"pass\x00word", 0xFFFFFFFF, 7),
                 (b"\n", "-2147483648", "4294967295", b"", 0x80000000, 0xFFFFFFFF),
                 (b"no newline", "0", "0X0000000a", b"no newline", 0, 10),
                 (b"two\nlines\n", "1", "2", b"two", 1, 2),
                 (b"keeps\rinner\r\r\n", "1", "2", b"keeps\rinner\r", 1, 2),
                 (b"no newline\r", "1", "2", b"no newline\r", 1, 2),
                 (b"\r\n", "1", "2", b"", 1, 2),
                 (b"\r", "1", "2", b"\r", 1, 2)]
        long = bytes(range(1, 256)).replace(b"\n", b"") * 20000  # 5 MB, several blocks
        cases.append((long + b"\r\nrest", "3", "4", long, 3, 4))
        for stdin, first, second, password, a, b in cases:
            with self.subTest(stdin=stdin[:20], first=first, second=second):
                result = run("password", first, second, stdin=stdin)
                self.assertEqual(result.returncode, 0, result.stderr)
                want = sha_variants.double_hash_password(password, a, b).hex()
                self.assertEqual(result.stdout.decode(), want + "\n")
        # Standard input is read in blocks, not a byte a read.
        if FAIL_SHIM:
            env = dict(os.environ, LD_PRELOAD=FAIL_SHIM, QUILLET_STDIN_READS="reads")
            result = run("password", "1", "2", stdin=long + b"\n", env=env)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertLess(int(contents("reads")), 1000)
        # From a file, what follows the line is left for the next reader.
        self.write("input", b"pw\nthe rest\n")
        with open("input", "rb") as f:
            result = subprocess.run([TOOL, "password", "1", "2"], stdin=f, capture_output=True)
            self.assertEqual(f.read(), b"the rest\n")
        self.assertEqual(result.stdout.decode(),
                         sha_variants.double_hash_password(b"pw", 1, 2).hex() + "\n")

    def test_no_password_at_all_is_an_error(self):
        result = run("password", "1", "2", stdin=b"")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")
        self.assertIn(b"quillet: no password given", result.stderr)

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
        for args in (("frobnicate",), ("sha1", "--bogus"), ("password", "1"), ("md5", "-s")):
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn(b"Try 'quillet", result.stderr)
        self.assertEqual(run().returncode, 2)


class Terminal:
    """The tool on a pseudo-terminal, as a shell with job control runs it: a
    session leader keeps the terminal and runs the tool in a foreground
    process group of its own, reports when it stops, and on request puts it
    in the foreground again and continues it."""

    def __init__(self, *args, env=None, ignored=()):
        self.master, slave = pty.openpty()
        out_read, out_write = os.pipe()
        status_read, status_write = os.pipe()
        control_read, control_write = os.pipe()
        self.leader = os.fork()
        if self.leader == 0:
            try:
                os.setsid()
                fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
                signal.signal(signal.SIGTTOU, signal.SIG_IGN)
                child = os.fork()
                if child == 0:
                    os.setpgid(0, 0)
                    os.tcsetpgrp(slave, os.getpgrp())
                    os.dup2(slave, 0)
                    os.dup2(slave, 2)
                    os.dup2(out_write, 1)
                    signal.signal(signal.SIGTTOU, signal.SIG_DFL)
                    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # Python ignores it; shells do not
                    for sig in ignored:
                        signal.signal(sig, signal.SIG_IGN)
                    os.execve(TOOL, [TOOL, *args], env if env is not None else os.environ)
                try:  # as a shell does: both sides, whichever comes first
                    os.setpgid(child, child)
                except PermissionError:  # the child has already exec'd
                    pass
                os.write(status_write, f"pid {child}\n".encode())
                while True:
                    _, status = os.waitpid(child, os.WUNTRACED)
                    if os.WIFSTOPPED(status):
                        os.write(status_write, b"stopped\n")
                        os.read(control_read, 1)
                        os.tcsetpgrp(slave, child)
                        os.kill(child, signal.SIGCONT)
                        continue
                    code = os.waitstatus_to_exitcode(status)
                    os.write(status_write, f"exit {code}\n".encode())
                    os._exit(0)
            except BaseException as error:  # noqa: B036 (the test reports it)
                os.write(status_write, f"error {error!r}\n".encode())
            finally:
                os._exit(1)
        os.close(slave)
        os.close(out_write)
        os.close(status_write)
        os.close(control_read)
        self.out, self.status, self.control = out_read, status_read, control_write
        self.screen = b""
        self.pending = b""
        first = self.next_status(timeout=30)
        if not first.startswith("pid "):
            raise AssertionError(f"the terminal's session leader said {first!r}")
        self.child = int(first.split()[1])

    def read_screen(self, until=None, timeout=10):
        """Reads the terminal until `until` shows, or with None until the
        terminal is closed (the tool and its session leader have ended)."""
        deadline = time.time() + timeout
        while (until is None or until not in self.screen) and time.time() < deadline:
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if ready:
                try:
                    self.screen += os.read(self.master, 4096)
                except OSError:
                    break
        return until is None or until in self.screen

    def echo(self):
        return bool(termios.tcgetattr(self.master)[3] & termios.ECHO)

    def wait_echo(self, on, timeout=5):
        deadline = time.time() + timeout
        while self.echo() != on and time.time() < deadline:
            time.sleep(0.02)
        return self.echo()

    def type(self, data):
        os.write(self.master, data)

    def next_status(self, timeout=10):
        deadline = time.time() + timeout
        while b"\n" not in self.pending:
            ready, _, _ = select.select([self.status], [], [], max(0, deadline - time.time()))
            if not ready:
                return "timeout"
            chunk = os.read(self.status, 64)
            if not chunk:
                return "closed"
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode()

    def resume(self):
        os.write(self.control, b"c")

    def output(self, timeout=10):
        chunks = []
        deadline = time.time() + timeout
        while time.time() < deadline:
            ready, _, _ = select.select([self.out], [], [], 0.1)
            if ready:
                chunk = os.read(self.out, 4096)
                if not chunk:
                    break
                chunks.append(chunk)
        return b"".join(chunks)

    def close(self):
        # Whatever state a failed test left them in, the tool and its
        # session leader end here.
        for pid in (self.child, self.leader):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for fd in (self.master, self.out, self.status, self.control):
            os.close(fd)
        os.waitpid(self.leader, 0)


class TerminalTest(unittest.TestCase):
    PROOF = sha_variants.double_hash_password(b"secret", 1, 2).hex().encode() + b"\n"

    def test_prompt_without_echo(self):
        t = Terminal("password", "1", "2")
        try:
            self.assertTrue(t.read_screen(b"Password: "))
            self.assertFalse(t.wait_echo(False))
            t.type(b"secret\n")
            self.assertEqual(t.next_status(), "exit 0")
            self.assertEqual(t.output(), self.PROOF)
            self.assertNotIn(b"secret", t.screen)
            self.assertTrue(t.echo())
        finally:
            t.close()

    @unittest.skipIf(SIGNALS_DEFERRED, "ThreadSanitizer defers signals during a blocking read")
    def test_ctrl_z_gives_echo_back_and_fg_takes_it_away(self):
        t = Terminal("password", "1", "2")
        try:
            self.assertTrue(t.read_screen(b"Password: "))
            self.assertFalse(t.wait_echo(False))
            t.type(b"sec")
            t.type(termios.tcgetattr(t.master)[6][termios.VSUSP])
            self.assertEqual(t.next_status(), "stopped")
            self.assertTrue(t.echo(), "echo is on while the tool is stopped")
            t.resume()
            self.assertFalse(t.wait_echo(False), "echo is off again after fg")
            # The terminal dropped the line typed before Ctrl-Z: typed again.
            t.type(b"secret\n")
            self.assertEqual(t.next_status(), "exit 0")
            self.assertEqual(t.output(), self.PROOF)
            self.assertNotIn(b"sec", t.screen)
        finally:
            t.close()

    @unittest.skipIf(SIGNALS_DEFERRED, "ThreadSanitizer defers signals during a blocking read")
    def test_every_signal_that_ends_the_tool_gives_echo_back(self):
        for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGQUIT, signal.SIGUSR1, signal.SIGUSR2,
                    signal.SIGALRM, signal.SIGPIPE, signal.SIGVTALRM, signal.SIGRTMIN + 2):
            with self.subTest(signal=sig):
                t = Terminal("password", "1", "2")
                try:
                    self.assertTrue(t.read_screen(b"Password: "))
                    self.assertFalse(t.wait_echo(False))
                    if sig == signal.SIGINT:
                        t.type(termios.tcgetattr(t.master)[6][termios.VINTR])
                    else:
                        os.kill(t.child, sig)
                    self.assertEqual(t.next_status(), f"exit {-sig}")
                    self.assertTrue(t.echo())
                    self.assertEqual(t.output(), b"")
                finally:
                    t.close()

    def test_a_signal_ignored_from_the_start_stays_ignored(self):
        t = Terminal("password", "1", "2", ignored=(signal.SIGUSR1, signal.SIGALRM))
        try:
            self.assertTrue(t.read_screen(b"Password: "))
            self.assertFalse(t.wait_echo(False))
            os.kill(t.child, signal.SIGUSR1)
            os.kill(t.child, signal.SIGALRM)
            time.sleep(0.2)
            t.type(b"secret\n")
            self.assertEqual(t.next_status(), "exit 0")
            self.assertEqual(t.output(), self.PROOF)
        finally:
            t.close()

    def test_ctrl_d_at_the_prompt_is_no_password(self):
        t = Terminal("password", "1", "2")
        try:
            self.assertTrue(t.read_screen(b"Password: "))
            t.type(termios.tcgetattr(t.master)[6][termios.VEOF])
            self.assertEqual(t.next_status(), "exit 1")
            self.assertTrue(t.read_screen(b"no password given"))
        finally:
            t.close()

    def test_progress_only_on_a_terminal(self):
        directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, directory)
        fifo = os.path.join(directory, "slow")
        data = os.urandom(1 << 20)

        def feed(pause):
            with open(fifo, "wb") as f:
                f.write(data)
                f.flush()
                time.sleep(pause)
                f.write(data)

        want = f"{hexdigest('sha1', data + data)}  {fifo}\n".encode()
        # (arguments, on a terminal, how long the input takes, progress shown)
        for args, on_terminal, pause, shown in ((["sha1", fifo], True, 1.6, True),
                                                (["sha1", "-j1", fifo], True, 1.6, True),
                                                (["sha1", fifo], True, 0.6, False),
                                                (["sha1", "--no-progress", fifo], True, 1.6, False),
                                                (["sha1", fifo], False, 1.6, False)):
            with self.subTest(args=args, on_terminal=on_terminal, pause=pause):
                os.mkfifo(fifo)
                writer = threading.Thread(target=feed, args=(pause,))
                writer.start()
                if on_terminal:
                    t = Terminal(*args)
                    self.assertEqual(t.next_status(), "exit 0")
                    t.read_screen()  # all of it, the last erase included
                    screen, output = t.screen, t.output()
                    t.close()
                else:
                    result = run(*args)
                    screen, output = result.stderr, result.stdout
                writer.join()
                os.unlink(fifo)
                self.assertEqual(output, want)
                self.assertEqual(b"MiB/s" in screen, shown, screen)
                if shown:
                    # The bytes read so far; erased at the end.
                    self.assertIn(f"quillet: {fifo}: 1 MiB, ".encode(), screen)
                    self.assertNotIn(b"2 MiB", screen)
                    self.assertTrue(screen.endswith(b"\r\x1b[K"), screen)

    @unittest.skipUnless(FAIL_SHIM, "needs the read shim (QUILLET_FAIL_READ_SHIM)")
    def test_progress_of_a_known_size_quotes_the_name_and_goes_with_ctrl_c(self):
        directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, directory)
        name = os.path.join(directory, "\x1b[31mred\nfile")
        size_mib = 12  # shown as 13 if counted in MB
        with open(name, "wb") as f:
            f.write(bytes(size_mib << 20))
        # About 5 MiB/s: the progress line is drawn several times.
        env = dict(os.environ, LD_PRELOAD=FAIL_SHIM, QUILLET_FAIL_PATH=name, QUILLET_FAIL_AT="0",
                   QUILLET_SLOW_MS="100", QUILLET_READ_MAX=str(512 << 10))
        quoted = f"'{directory}/'$'\\033''[31mred'$'\\n''file'".encode()
        shape = re.compile(rb"^quillet: (.*): (\d+)% of (\d+) MiB, (\d+) MiB/s, (\d+) s left$")
        for jobs in ("1", "2"):
            with self.subTest(jobs=jobs):
                t = Terminal("sha1", "-j", jobs, name, env=env)
                try:
                    self.assertEqual(t.next_status(timeout=30), "exit 0")
                    t.read_screen()
                    self.assertNotIn(b"\x1b[31m", t.screen)
                    drawn = [line for line in t.screen.split(b"\r\x1b[K") if line]
                    self.assertGreater(len(drawn), 2, t.screen)
                    for line in drawn:
                        match = shape.match(line)
                        self.assertIsNotNone(match, line)
                        shown_name, done, total, rate, left = match.groups()
                        self.assertEqual((shown_name, int(total)), (quoted, size_mib), line)
                        # The time left is what remains at the rate shown.
                        remaining = (100 - int(done)) / 100 * size_mib / max(int(rate), 1)
                        self.assertLessEqual(abs(int(left) - remaining), 1.0, line)
                    self.assertTrue(t.screen.endswith(b"\r\x1b[K"), t.screen[-80:])
                finally:
                    t.close()
        # Ctrl-C while the line shows: it is erased as the tool ends.
        t = Terminal("sha1", name, env=env)
        try:
            self.assertTrue(t.read_screen(b"s left", timeout=20), t.screen)
            t.type(termios.tcgetattr(t.master)[6][termios.VINTR])
            self.assertEqual(t.next_status(), f"exit {-signal.SIGINT}")
            t.read_screen()
            self.assertTrue(t.screen.endswith(b"\r\x1b[K"), t.screen[-80:])
        finally:
            t.close()

    @unittest.skipUnless(FAIL_SHIM, "needs the read shim (QUILLET_FAIL_READ_SHIM)")
    def test_progress_counts_the_read_just_done(self):
        # 4 MiB read a MiB at a time, 300 ms apart: every read past the first
        # second is shown, the last one as all of the file.
        directory = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, directory)
        name = os.path.join(directory, "four")
        with open(name, "wb") as f:
            f.write(bytes(4 << 20))
        env = dict(os.environ, LD_PRELOAD=FAIL_SHIM, QUILLET_FAIL_PATH=name, QUILLET_FAIL_AT="0",
                   QUILLET_SLOW_MS="300", QUILLET_READ_MAX=str(1 << 20))
        t = Terminal("sha1", "-j1", name, env=env)
        try:
            self.assertEqual(t.next_status(timeout=30), "exit 0")
            t.read_screen()
            drawn = [line for line in t.screen.split(b"\r\x1b[K") if line.startswith(b"quillet")]
            self.assertTrue(drawn, t.screen)
            self.assertIn(b": 100% of 4 MiB", drawn[-1])
        finally:
            t.close()

    def test_no_progress_while_the_input_is_the_terminal(self):
        t = Terminal("sha1")
        try:
            time.sleep(1.5)
            t.type(b"typed\n")
            time.sleep(1.2)
            t.type(termios.tcgetattr(t.master)[6][termios.VEOF])
            self.assertEqual(t.next_status(), "exit 0")
            typed = hexdigest("sha1", b"typed\n")
            self.assertEqual(t.output(), f"{typed}  -\n".encode())
            t.read_screen()
            self.assertNotIn(b"MiB", t.screen)
        finally:
            t.close()


class InstalledFilesTest(unittest.TestCase):
    """The man page and the completion describe the options the tool has."""

    HERE = os.path.join(os.path.dirname(__file__), "..", "..", "tools", "quillet")

    def test_man_page_names_every_option(self):
        with open(os.path.join(self.HERE, "quillet.1")) as f:
            page = f.read().replace("\\-", "-")
        helps = run("sha1", "--help").stdout.decode()
        for word in helps.split():
            if word.startswith("--"):
                option = word.split("=")[0].rstrip(",")
                self.assertIn(option, page)

    def test_completion_offers_commands_and_options(self):
        script = os.path.join(self.HERE, "quillet.bash")
        for words, cword, want in ((["quillet", ""], 1, "lockdown"), (["quillet", "sha1", "--ch"], 2,
                                                                       "--check")):
            line = " ".join(words)
            program = (f'source "{script}"; COMP_WORDS=({" ".join(repr(w) for w in words)}); '
                       f"COMP_CWORD={cword}; COMP_LINE={line!r}; _quillet; "
                       'printf "%s\\n" "${COMPREPLY[@]}"')
            result = subprocess.run(["bash", "-c", program], capture_output=True, text=True)
            self.assertIn(want, result.stdout.split(), result.stderr)


@unittest.skipUnless(os.environ.get("QUILLET_LARGE"), "set QUILLET_LARGE=1 for a file past 512 MiB")
class LargeFileTest(unittest.TestCase):
    def test_large_file_in_bounded_memory(self):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "large.bin")
            block = os.urandom(1 << 20)
            with open(path, "wb") as f:
                for _ in range(600):
                    f.write(block)
            # The tool's peak on an empty file is its own size (larger under
            # the sanitizers, whose runtimes are part of it); the large file
            # may add its buffers, not itself.
            empty = os.path.join(directory, "empty")
            open(empty, "wb").close()
            _, baseline_kib = run_watching_memory("sha1", empty)
            peak_kib = 0
            for tool, command in (("sha1sum", "sha1"), ("md5sum", "md5")):
                want = subprocess.run([tool, path], capture_output=True, check=True).stdout
                got, peak = run_watching_memory(command, path)
                self.assertEqual(got.lower(), want.lower())
                peak_kib = max(peak_kib, peak)
            print(f"peak resident size of the tool: {peak_kib} KiB "
                  f"({baseline_kib} KiB for an empty file)")
            self.assertLess(peak_kib - baseline_kib, 24 * 1024)


def run_watching_memory(*args):
    """Runs the tool and returns its output and the highest peak resident
    size seen in /proc while it ran. (The rusage of a child is no use here:
    it counts the memory of this interpreter, which the child had until it
    called exec.)"""
    with tempfile.TemporaryFile() as out:
        process = subprocess.Popen([TOOL, *args], stdout=out)
        peak = 0
        while process.poll() is None:
            try:
                with open(f"/proc/{process.pid}/status") as f:
                    found = re.search(r"^VmHWM:\s+(\d+) kB", f.read(), re.M)
            except OSError:
                found = None
            if found:
                peak = max(peak, int(found.group(1)))
            time.sleep(0.005)
        out.seek(0)
        return out.read(), peak


if __name__ == "__main__":
    unittest.main()
