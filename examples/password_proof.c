#include <stdint.h>
#include <stdio.h>

#include <quillet/quillet.h>

int main(void) {
  ByteString password = SysAllocStringByteLen("password", 8);
  int32_t first = 0x12345678, second = (int32_t)0xDEADBEEF;
  ByteString proof = DoubleHashPassword(&password, &first, &second); /* 20 bytes */
  if (proof == NULL) return 1;
  for (unsigned int i = 0; i < SysStringByteLen(proof); ++i) printf("%02x", proof[i]);
  printf("\n");
  SysFreeString(proof);
  SysFreeString(password);
  return 0;
}
