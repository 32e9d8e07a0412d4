"""Quillet's digests with hashlib's interface, and the C exports' results.

    import quillet
    quillet.sha1(b"abc").hexdigest()        # as hashlib.sha1
    quillet.new("broken_sha", b"abc").digest()
    quillet.StandardSHA(b"abc")             # 20 bytes, as the export returns
    quillet.MD5(b"abc")                     # b"900150983CD24FB0D6963F7D28E17F72"
    quillet.DoubleHashPassword(b"pw", 1, 2) # 20 bytes
"""

from ._quillet import (BrokenSHA, DoubleHashPassword, LockdownSHA, MD5, StandardSHA, broken_sha,
                       lockdown_sha, md5, sha1)

__all__ = ["sha1", "broken_sha", "lockdown_sha", "md5", "new", "algorithms_available",
           "algorithms_guaranteed", "StandardSHA", "BrokenSHA", "LockdownSHA", "MD5",
           "DoubleHashPassword"]

_CONSTRUCTORS = {"sha1": sha1, "broken_sha": broken_sha, "lockdown_sha": lockdown_sha, "md5": md5}

algorithms_guaranteed = frozenset(_CONSTRUCTORS)
algorithms_available = frozenset(_CONSTRUCTORS)


def new(name, data=b"", **kwargs):
    """A hash object for `name` (one of algorithms_available, any case), as
    hashlib.new."""
    if not isinstance(name, str):
        raise TypeError(f"name must be a str, not {type(name).__name__}")
    try:
        constructor = _CONSTRUCTORS[name.lower()]
    except KeyError:
        raise ValueError(f"unsupported hash type {name}") from None
    return constructor(data, **kwargs)
