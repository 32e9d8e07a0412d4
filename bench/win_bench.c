/* Times each export of Quillet.DLL at the benchmark sizes, for running under
 * Windows or Wine beside the native benchmark's OpenSSL figures. Prints
 * nanoseconds per call (best of several runs). */
#include <windows.h>
#include <oleauto.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef BSTR(__stdcall *DigestFn)(const BSTR *);
typedef BSTR(__stdcall *PasswordFn)(const BSTR *, const INT32 *, const INT32 *);

static double Now(void) {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return (double)counter.QuadPart * 1e9 / (double)frequency.QuadPart;
}

int main(void) {
  static const char *const names[] = {"StandardSHA", "BrokenSHA", "LockdownSHA", "MD5",
                                      "DoubleHashPassword"};
  static const UINT sizes[] = {3, 64, 1024, 16384, 1048576};
  HMODULE dll = LoadLibraryA("Quillet.DLL");
  if (dll == NULL) {
    fprintf(stderr, "cannot load Quillet.DLL\n");
    return 1;
  }
  printf("%-20s", "ns per call");
  for (int s = 0; s < 5; ++s) printf(" %12u", sizes[s]);
  printf("\n");
  static char buffer[1048576];
  for (UINT i = 0; i < sizeof buffer; ++i) buffer[i] = (char)(i * 131 + 7);
  for (int f = 0; f < 5; ++f) {
    FARPROC address = GetProcAddress(dll, names[f]);
    DigestFn digest = NULL;
    PasswordFn password = NULL;
    if (f < 4) memcpy(&digest, &address, sizeof address);
    else memcpy(&password, &address, sizeof address);
    printf("%-20s", names[f]);
    for (int s = 0; s < 5; ++s) {
      BSTR input = SysAllocStringByteLen(buffer, sizes[s]);
      const INT32 first = 1, second = 2;
      const int calls = sizes[s] >= 16384 ? (sizes[s] >= 1048576 ? 20 : 2000) : 100000;
      double best = 1e30;
      for (int run = 0; run < 5; ++run) {
        const double start = Now();
        for (int c = 0; c < calls; ++c) {
          BSTR r = digest ? digest(&input) : password(&input, &first, &second);
          SysFreeString(r);
        }
        const double per_call = (Now() - start) / calls;
        if (per_call < best) best = per_call;
      }
      printf(" %12.0f", best);
      SysFreeString(input);
    }
    printf("\n");
  }
  FreeLibrary(dll);
  return 0;
}
