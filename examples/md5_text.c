#include <stddef.h>
#include <stdio.h>

#include <quillet/quillet.h>

int main(void) {
  ByteString data = SysAllocStringByteLen("abc", 3);
  ByteString text = MD5(&data); /* 32 characters of text, not raw bytes */
  if (text == NULL) return 1;
  printf("%.*s\n", (int)SysStringByteLen(text), (const char *)text);
  SysFreeString(text);
  SysFreeString(data);
  return 0;
}
