"""Checked by mypy --strict against the package's stubs: every line marked
"refused" must be an error, and no other line."""
import array
import hashlib
import io
import mmap

import quillet

h: quillet.Hash = quillet.sha1(b"abc")
h.update(bytearray(b"x"))
h.update(memoryview(b"x"))
h.update(array.array("I", [1, 2]))
h.update(mmap.mmap(-1, 16))
text: str = h.hexdigest()
raw: bytes = h.digest()
size: int = h.digest_size + h.block_size
name: str = h.name
copy: quillet.Hash = h.copy()
quillet.new("md5", b"x", usedforsecurity=False).hexdigest()
quillet.md5(string=b"abc")
quillet.lockdown_sha(data=b"abc")
quillet.file_digest(io.BytesIO(b"x"), "sha1")
with open(__file__, "rb") as f:
    quillet.file_digest(f, quillet.broken_sha)
proof: bytes = quillet.DoubleHashPassword(b"pw", 1, 2)
exported: bytes = quillet.StandardSHA(array.array("B", b"abc")) + quillet.MD5(b"")
version: str = quillet.__version__
many: list[bytes] = quillet.digest_many("md5", [b"a", bytearray(b"b"), memoryview(b"c")])
quillet.digest_many("sha1", (m for m in [b"a"]))
names: frozenset[str] = quillet.algorithms_available
h.update("text")  # refused
quillet.sha1("text")  # refused
h.nonexistent()  # refused
wrong: str = h.digest()  # refused
quillet.DoubleHashPassword(b"pw", "1", 2)  # refused
quillet.file_digest(io.BytesIO(b"x"), hashlib.sha256)  # refused
quillet.digest_many("md5", ["text"])  # refused
quillet.digest_many("md5", b"abc")  # refused
one: bytes = quillet.digest_many("md5", [b"a"])  # refused
