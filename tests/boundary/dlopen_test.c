/* The shared library as a C program sees it: loaded by name with dlopen,
 * every function found with dlsym, after other libraries that export
 * functions of the same names (OpenSSL's libcrypto has its own MD5, and a
 * decoy exports the allocator's names) were loaded into the global
 * namespace. The tests are caller_body.c's, and the allocator's own. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include "caller.h"
#include "need_symbol.h"

/* The library's own allocator: the count before the first byte in the
 * platform's byte order, two zero bytes after the last. */
static void TestAllocator(void) {
  ByteString s = caller.alloc("xyz", 3);
  CHECK(caller.length(s) == 3 && s[3] == 0 && s[4] == 0, "content then two zero bytes");
  caller.release(s);
  s = caller.alloc(NULL, 5);
  CHECK(caller.length(s) == 5, "count stored");
  for (int i = 0; i < 7; ++i) CHECK(s[i] == 0, "a null source leaves zeroed content");
  uint32_t stored;
  memcpy(&stored, s - 4, 4);
  CHECK(stored == 5u, "count in the platform's byte order before the first byte");
  caller.release(s);
  caller.release(NULL);
  CHECK(caller.length(NULL) == 0, "null has length 0");
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s DECOY_LIBRARY [LIBCRYPTO]\n", argv[0]);
    return 2;
  }
  if (dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL) == NULL ||
      (argc > 2 && dlopen(argv[2], RTLD_NOW | RTLD_GLOBAL) == NULL)) {
    fprintf(stderr, "cannot load the libraries that go first: %s\n", dlerror());
    return 1;
  }
  void *library = dlopen("libquillet.so", RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "cannot load libquillet.so: %s\n", dlerror());
    return 1;
  }
  for (int f = 0; f < kExports; ++f) Need(library, kExportNames[f], &caller.digest[f]);
  Need(library, "DoubleHashPassword", &caller.double_hash);
  Need(library, "SysAllocStringByteLen", &caller.alloc);
  Need(library, "SysFreeString", &caller.release);
  Need(library, "SysStringByteLen", &caller.length);
  caller.run_threads = RunPosixThreads;

  RunCommonTests();
  TestAllocator();

  dlclose(library);
  return Finish();
}
