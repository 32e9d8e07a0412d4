/* Linked with libcrypto before libquillet, both of which export MD5, and
 * using libcrypto too, so that it is loaded first: every Quillet call below
 * must reach Quillet's functions (libcrypto's MD5 takes a pointer, a length
 * and an output buffer, and would crash or return garbage here). */
#include <openssl/sha.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "quillet/quillet.h"

static int Check(const char *name, ByteString result, const char *want_hex, unsigned length) {
  char hex[2 * 32 + 1] = {0};
  const unsigned char *bytes = (const unsigned char *)result;
  if (result == NULL || SysStringByteLen(result) != length) {
    printf("FAIL  %s: no result of %u bytes\n", name, length);
    return 1;
  }
  if (length == 32) {
    memcpy(hex, bytes, 32);
  } else {
    for (unsigned i = 0; i < length; ++i) sprintf(hex + 2 * i, "%02x", bytes[i]);
  }
  SysFreeString(result);
  const int ok = strcmp(hex, want_hex) == 0;
  printf("%s  %s: %s\n", ok ? "ok  " : "FAIL", name, hex);
  return ok ? 0 : 1;
}

int main(void) {
  ByteString abc = SysAllocStringByteLen("abc", 3);
  ByteString password = SysAllocStringByteLen("password", 8);
  const int32_t first = 0x12345678, second = (int32_t)0xDEADBEEFu;
  int failures = 0;
  unsigned char openssl_digest[SHA_DIGEST_LENGTH];
  SHA1((const unsigned char *)"abc", 3, openssl_digest);
  failures += openssl_digest[0] == 0xa9 ? 0 : 1;
  failures += Check("StandardSHA", StandardSHA(&abc), "a9993e364706816aba3e25717850c26c9cd0d89d", 20);
  failures += Check("BrokenSHA", BrokenSHA(&abc), "7a7af57b99e91bcce6dc75f981fe2255d6c878ab", 20);
  failures += Check("LockdownSHA", LockdownSHA(&abc), "50c8e95373d4856f7567b73c2df9da981062e20a", 20);
  failures += Check("MD5", MD5(&abc), "900150983CD24FB0D6963F7D28E17F72", 32);
  /* From tests/reference/sha_variants.py, an independent model. */
  failures += Check("DoubleHashPassword", DoubleHashPassword(&password, &first, &second),
                    "f5dd47fed4f843073ee91935a884d148c493da05", 20);
  SysFreeString(password);
  SysFreeString(abc);
  return failures == 0 ? 0 : 1;
}
