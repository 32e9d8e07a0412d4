#include <quillet/quillet.h>
#include <stdio.h>

int main(void) {
  ByteString data = SysAllocStringByteLen("abc", 3);
  ByteString text = MD5(&data);
  printf("%.*s\n", (int)SysStringByteLen(text), (const char *)text);
  SysFreeString(text);
  SysFreeString(data);
  return 0;
}
