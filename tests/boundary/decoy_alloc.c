/* A library that exports the string allocator's names with different code.
 * Loaded into the process ahead of the library under test, it proves that the
 * library's own calls never reach a same-named function of someone else. */
#include <stdio.h>
#include <stdlib.h>

#define DECOY __attribute__((visibility("default")))

static void Fail(const char *name) {
  fprintf(stderr, "decoy %s was called by the library under test\n", name);
  abort();
}

DECOY void *SysAllocStringByteLen(const char *source, unsigned int length) {
  (void)source;
  (void)length;
  Fail("SysAllocStringByteLen");
  return NULL;
}

DECOY void SysFreeString(void *string) {
  (void)string;
  Fail("SysFreeString");
}

DECOY unsigned int SysStringByteLen(void *string) {
  (void)string;
  Fail("SysStringByteLen");
  return 0;
}
