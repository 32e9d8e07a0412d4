/* Prints the digests of a built-in sample through the shared library's
 * exports, the way any C caller would use them. */
#include <stdio.h>
#include <string.h>

#include "quillet/quillet.h"

/* Raw digests print as hex; MD5's result is already text. */
static void Print(const char *name, ByteString result, int is_text) {
  if (result == NULL) {
    printf("%-19s (out of memory)\n", name);
    return;
  }
  printf("%-19s ", name);
  for (unsigned int i = 0; i < SysStringByteLen(result); ++i) {
    if (is_text) {
      putchar(result[i]);
    } else {
      printf("%02x", result[i]);
    }
  }
  printf("\n");
  SysFreeString(result); /* every result belongs to the caller */
}

int main(int argc, char **argv) {
  const char *sample = argc > 1 ? argv[1] : "abc";
  ByteString data = SysAllocStringByteLen(sample, (unsigned int)strlen(sample));
  const int32_t first = 1, second = 2;
  printf("%-19s \"%s\" (%u bytes)\n", "sample", sample, SysStringByteLen(data));
  Print("StandardSHA", StandardSHA(&data), 0);
  Print("BrokenSHA", BrokenSHA(&data), 0);
  Print("LockdownSHA", LockdownSHA(&data), 0);
  Print("MD5", MD5(&data), 1);
  Print("DoubleHashPassword", DoubleHashPassword(&data, &first, &second), 0);
  SysFreeString(data);
  return 0;
}
