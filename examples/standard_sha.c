#include <stdio.h>

#include <quillet/quillet.h>

int main(void) {
  ByteString data = SysAllocStringByteLen("abc", 3);
  ByteString digest = StandardSHA(&data); /* 20 raw bytes, yours to free */
  if (digest == NULL) {                   /* only when memory ran out */
    SysFreeString(data);
    return 1;
  }
  for (unsigned int i = 0; i < SysStringByteLen(digest); ++i) printf("%02x", digest[i]);
  printf("\n");
  SysFreeString(digest);
  SysFreeString(data);
  return 0;
}
