#include <windows.h>
#include <oleauto.h>
#include <stdio.h>
#include <string.h>

typedef BSTR(__stdcall *DigestFn)(const BSTR *data);

int main(void) {
  HMODULE dll = LoadLibraryA("Quillet.DLL");
  if (dll == NULL) return 1;
  /* likewise "BrokenSHA", "LockdownSHA", "MD5" and "DoubleHashPassword" */
  FARPROC address = GetProcAddress(dll, "StandardSHA");
  if (address == NULL) return 1;
  DigestFn standard_sha; /* FARPROC to the function's own type, bit for bit */
  memcpy(&standard_sha, &address, sizeof standard_sha);
  BSTR data = SysAllocStringByteLen("abc", 3);
  BSTR digest = standard_sha(&data); /* SysStringByteLen(digest) == 20 */
  if (digest == NULL) return 1;
  for (UINT i = 0; i < SysStringByteLen(digest); ++i) printf("%02x", ((unsigned char *)digest)[i]);
  printf("\n");
  SysFreeString(digest);
  SysFreeString(data);
  FreeLibrary(dll);
  return 0;
}
