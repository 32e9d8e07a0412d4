"""What the checks of the built binaries share (check_shared_object.py for
libquillet.so, windows/check_pe.py for Quillet.DLL): binutils run on the
file, one line a check, and the exit status."""

import subprocess

failures = []


def check(condition, message):
    """Reports one check; a failed one is counted."""
    print(("ok    " if condition else "FAIL  ") + message)
    if not condition:
        failures.append(message)


def run(*command):
    """What a binutils command prints."""
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def finish():
    """The exit status, after a last line that counts the failures."""
    print(f"{len(failures)} failed")
    return 1 if failures else 0
