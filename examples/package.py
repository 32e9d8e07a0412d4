import hashlib

import quillet

print(quillet.sha1(b"abc").hexdigest())           # as hashlib.sha1
h = quillet.new("broken_sha")                      # streaming, with copy()
h.update(b"a")
h.update(b"bc")
print(h.hexdigest())
print(quillet.StandardSHA(b"abc") == hashlib.sha1(b"abc").digest())
print(quillet.MD5(b"abc"))                         # the export's 32 bytes of text
print(quillet.DoubleHashPassword(b"password", 0x12345678, 0xDEADBEEF).hex())
print([d.hex() for d in quillet.digest_many("md5", [b"", b"abc"])])  # many at once
