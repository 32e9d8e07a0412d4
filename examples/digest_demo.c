/* Prints the digests of a sample through the shared library's exports, the
 * way any C caller would use them. */
#include <stdio.h>
#include <string.h>

#include "quillet/quillet.h"

/* Raw digests print as hex; MD5's result is already text. */
static void Print(const char *name, ByteString result, int is_text, const char *note) {
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
  printf("%s\n", note);
  SysFreeString(result); /* every result belongs to the caller */
}

/* The sample between double quotes, with quotes, backslashes and every byte
 * outside printable ASCII written as C escapes, so that control bytes never
 * reach the terminal as they are. */
static void PrintQuoted(const unsigned char *text, size_t length) {
  putchar('"');
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = text[i];
    if (c == '"' || c == '\\') {
      printf("\\%c", c);
    } else if (c < 0x20 || c >= 0x7F) {
      printf("\\x%02x", c);
    } else {
      putchar(c);
    }
  }
  putchar('"');
}

int main(int argc, char **argv) {
  if (argc > 2) {
    fprintf(stderr, "usage: %s [TEXT]  (one argument; quote a TEXT with spaces)\n", argv[0]);
    return 2;
  }
  const char *sample = argc > 1 ? argv[1] : "abc";
  ByteString data = SysAllocStringByteLen(sample, (unsigned int)strlen(sample));
  const int32_t first = 1, second = 2;
  const unsigned int length = SysStringByteLen(data);
  printf("%-19s ", "sample");
  PrintQuoted((const unsigned char *)sample, length);
  printf(" (%u byte%s)\n", length, length == 1 ? "" : "s");
  Print("StandardSHA", StandardSHA(&data), 0, "");
  Print("BrokenSHA", BrokenSHA(&data), 0, "");
  Print("LockdownSHA", LockdownSHA(&data), 0, "");
  Print("MD5", MD5(&data), 1, "");
  char note[64];
  snprintf(note, sizeof note, "  (the sample as password, tokens %d and %d)", (int)first,
           (int)second);
  Print("DoubleHashPassword", DoubleHashPassword(&data, &first, &second), 0, note);
  SysFreeString(data);
  return 0;
}
