/* Prints the digests of a built-in sample through the shared library's
 * exports, the way any C caller would use them. */
#include <stdio.h>
#include <string.h>

#include "quillet/quillet.h"

static void Print(const char *name, ByteString result) {
  if (result == NULL) {
    printf("%-12s (out of memory)\n", name);
    return;
  }
  printf("%-12s ", name);
  for (unsigned int i = 0; i < SysStringByteLen(result); ++i) printf("%02x", result[i]);
  printf("\n");
  SysFreeString(result); /* every result belongs to the caller */
}

int main(int argc, char **argv) {
  const char *sample = argc > 1 ? argv[1] : "abc";
  ByteString data = SysAllocStringByteLen(sample, (unsigned int)strlen(sample));
  printf("sample       \"%s\" (%u bytes)\n", sample, SysStringByteLen(data));
  Print("StandardSHA", StandardSHA(&data));
  Print("BrokenSHA", BrokenSHA(&data));
  Print("LockdownSHA", LockdownSHA(&data));
  SysFreeString(data);
  return 0;
}
