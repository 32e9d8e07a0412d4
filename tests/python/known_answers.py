"""The known answers of tests/vectors/known_answers.txt (whose header says
where each comes from), for the Python tests."""

import os
import re

PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "vectors", "known_answers.txt")
_LINE = re.compile(r'^(\w+) ("(?:[^"\\]|\\.)*"(?:\*\d+)?|bytes\(0\.\.255\))((?: 0x[0-9a-f]{8}){0,2}) (\w+)$')


def _message(field):
    if field == "bytes(0..255)":
        return bytes(range(256))
    text, _, times = field[1:].rpartition('"')
    data = re.sub(rb"\\x([0-9a-fA-F]{2})|\\(.)",
                  lambda m: bytes([int(m.group(1), 16)]) if m.group(1) else m.group(2),
                  text.encode("latin-1"))
    return data * (int(times[1:]) if times else 1)


def load():
    """(digest, message, tokens, expected) for every line: tokens is () but
    for DoubleHashPassword; expected is the result's bytes (for MD5 its
    text)."""
    answers = []
    with open(PATH, encoding="latin-1") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            match = _LINE.match(line)
            if match is None:
                raise ValueError(f"{PATH}: cannot read the line: {line}")
            digest, message, tokens, expected = match.groups()
            tokens = tuple(int(t, 16) for t in tokens.split())
            answers.append((digest, _message(message), tokens,
                            expected.encode() if digest == "MD5" else bytes.fromhex(expected)))
    return answers


KNOWN_ANSWERS = load()
