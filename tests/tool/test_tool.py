"""The quillet tool run as a user runs it: side by side with coreutils'
sha1sum and md5sum on the same files and lists (same output, same exit
status, the same messages but for the program's name), and the failures
coreutils has no peer for: write errors, injected read errors, the password
prompt on a pseudo-terminal, several jobs, progress."""

import fcntl
import hashlib
import os
import pty
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


def run(*args, stdin=b"", env=None, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=None):
    return subprocess.run([TOOL, *args], input=stdin, stdout=stdout, stderr=stderr,
                          env=env, cwd=cwd)


def hexdigest(algorithm, data):
    return hashlib.new(algorithm, data).hexdigest()


class Scratch(unittest.TestCase):
    """A directory of files with every kind of name, the test's working
    directory."""

    NAMES = {"a": b"abc", "empty": b"", "sp ace": b"1", "back\\slash": b"2", "new\nline": b"3",
             "car\rriage": b"4", "ends\r": b"5", "-c": b"6", "star*": b"7"}

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

    def same(self, algorithm, args, stdin=b"", usage=False):
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
        cases = [
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

    def test_usage_errors(self):
        for args in (["--bogus"], ["-x", "a"], ["--ignore-missing", "a"], ["--quiet", "a"],
                     ["--status"], ["-w", "a"], ["--strict"], ["--tag", "-t", "a"],
                     ["-c", "--tag", "x"], ["-c", "-b", "x"], ["--tag=1", "a"]):
            with self.subTest(args=args):
                self.same("sha1", args, usage=True)

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
        # The reversed BSD form, once seen, is the only one taken afterwards.
        self.write("reversed", f"{hexdigest('sha1', b'abc')} a\n".encode())
        self.write("standard", f"{hexdigest('sha1', b'abc')}  a\n".encode())
        self.same("sha1", ["-c", "reversed", "standard"])
        self.same("sha1", ["-c", "standard", "reversed"])


class FailureTest(Scratch):
    """Every failure ends in a message and a non-zero status."""

    def test_write_errors(self):
        self.write("list", f"{hexdigest('sha1', b'abc')}  a\n".encode())
        with open("/dev/full", "wb") as full:
            for args, stdin, peer in ((["sha1", "a"], b"", ["sha1sum", "a"]),
                                      (["sha1", "-c", "list"], b"", ["sha1sum", "-c", "list"]),
                                      (["md5", "-s", "x"], b"", None),
                                      (["password", "1", "2"], b"pw\n", None),
                                      (["--help"], b"", None), (["sha1", "--help"], b"", None),
                                      (["--version"], b"", None)):
                with self.subTest(args=args):
                    ours = run(*args, stdin=stdin, stdout=full)
                    self.assertEqual(ours.returncode, 1)
                    self.assertIn(b"quillet: write error", ours.stderr)
                    if peer:
                        theirs = subprocess.run(peer, stdout=full, stderr=subprocess.PIPE)
                        self.assertEqual(theirs.returncode, ours.returncode)

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
        self.write("list", f"{hexdigest('sha1', open('big', 'rb').read())}  big\n{line}".encode())
        result = run("sha1", "-c", "list", env=env)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"big: FAILED open or read\na: OK\n")

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

    def test_jobs_keep_the_order(self):
        names = [self.write(f"f{i}", os.urandom(i * 37)) for i in range(150)]
        names.insert(70, "missing")
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
                 (b"keeps\rinner\r\r\n", "1", "2", b"keeps\rinner\r", 1, 2)]
        for stdin, first, second, password, a, b in cases:
            with self.subTest(stdin=stdin, first=first, second=second):
                result = run("password", first, second, stdin=stdin)
                self.assertEqual(result.returncode, 0, result.stderr)
                want = sha_variants.double_hash_password(password, a, b).hex()
                self.assertEqual(result.stdout.decode(), want + "\n")

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

    def __init__(self, *args):
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
                    os.execv(TOOL, [TOOL, *args])
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
    def test_ctrl_c_gives_echo_back(self):
        t = Terminal("password", "1", "2")
        try:
            self.assertTrue(t.read_screen(b"Password: "))
            self.assertFalse(t.wait_echo(False))
            t.type(termios.tcgetattr(t.master)[6][termios.VINTR])
            self.assertEqual(t.next_status(), f"exit {-signal.SIGINT}")
            self.assertTrue(t.echo())
            self.assertEqual(t.output(), b"")
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

        def feed():
            with open(fifo, "wb") as f:
                f.write(data)
                f.flush()
                time.sleep(1.6)
                f.write(data)

        want = f"{hexdigest('sha1', data + data)}  {fifo}\n".encode()
        for args, on_terminal, shown in ((["sha1", fifo], True, True),
                                         (["sha1", "--no-progress", fifo], True, False),
                                         (["sha1", fifo], False, False)):
            with self.subTest(args=args, on_terminal=on_terminal):
                os.mkfifo(fifo)
                writer = threading.Thread(target=feed)
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
                    self.assertTrue(screen.endswith(b"\r\x1b[K"), screen)


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
            for tool, command in (("sha1sum", "sha1"), ("md5sum", "md5")):
                want = subprocess.run([tool, path], capture_output=True, check=True).stdout
                got = run(command, path).stdout
                self.assertEqual(got.lower(), want.lower())
            peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
            print(f"peak resident size of the largest child: {peak_kib} KiB")
            self.assertLess(peak_kib, 32 * 1024)


if __name__ == "__main__":
    unittest.main()
