"""Quillet's digests with hashlib's interface, and the C exports' results.

    import quillet
    quillet.sha1(b"abc").hexdigest()        # as hashlib.sha1
    quillet.new("broken_sha", b"abc").digest()
    quillet.digest_many("md5", [b"a", b"b"])  # [digest of b"a", digest of b"b"]
    quillet.StandardSHA(b"abc")             # 20 bytes, as the export returns
    quillet.MD5(b"abc")                     # b"900150983CD24FB0D6963F7D28E17F72"
    quillet.DoubleHashPassword(b"pw", 1, 2) # 20 bytes
"""

from ._quillet import (BrokenSHA, DoubleHashPassword, Hash, LockdownSHA, MD5, StandardSHA,
                       __version__, broken_sha, digest_many, file_digest, lockdown_sha, md5,
                       new, sha1)

__all__ = ["sha1", "broken_sha", "lockdown_sha", "md5", "new", "file_digest", "digest_many",
           "Hash", "algorithms_available", "algorithms_guaranteed", "StandardSHA", "BrokenSHA",
           "LockdownSHA", "MD5", "DoubleHashPassword", "__version__"]

algorithms_guaranteed = frozenset({"sha1", "broken_sha", "lockdown_sha", "md5"})
algorithms_available = algorithms_guaranteed
