/* Quillet.DLL as a Windows program sees it: LoadLibrary, GetProcAddress by
 * undecorated name, calls through stdcall function pointers, strings from the
 * real OLE allocator, the version resource, and several threads at once. On
 * 32-bit x86 every export is also called with the stack at each 4-byte
 * misalignment, checking that the callee removed exactly its argument bytes
 * and kept the caller's registers. */
#include <windows.h>
#include <oleauto.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef BSTR(__stdcall *DigestFn)(const BSTR *);
typedef BSTR(__stdcall *PasswordFn)(const BSTR *, const int32_t *, const int32_t *);

enum { kExports = 4, kMd5 = 3 };
static const char *const kNames[kExports] = {"StandardSHA", "BrokenSHA", "LockdownSHA", "MD5"};
static const UINT kLengths[kExports] = {20, 20, 20, 32};
static const char *const kAbc[kExports] = {
    "a9993e364706816aba3e25717850c26c9cd0d89d",
    "7a7af57b99e91bcce6dc75f981fe2255d6c878ab",
    "50c8e95373d4856f7567b73c2df9da981062e20a",
    "900150983CD24FB0D6963F7D28E17F72"};
/* From tests/reference/sha_variants.py, an independent model. */
static const char kProof[] = "f5dd47fed4f843073ee91935a884d148c493da05";

static HMODULE library;
static DigestFn digest_fns[kExports];
static PasswordFn double_hash;
static LONG failures;
static LONG checks;

#define CHECK(cond, ...)                              \
  do {                                                \
    InterlockedIncrement(&checks);                    \
    if (!(cond)) {                                    \
      InterlockedIncrement(&failures);                \
      fprintf(stderr, "%s:%d: ", __FILE__, __LINE__); \
      fprintf(stderr, __VA_ARGS__);                   \
      fputc('\n', stderr);                            \
    }                                                 \
  } while (0)

static BSTR Make(const char *bytes, UINT length) { return SysAllocStringByteLen(bytes, length); }

static void Render(int f, BSTR s, char *out) {
  const unsigned char *bytes = (const unsigned char *)s;
  UINT n = SysStringByteLen(s);
  if (f == kMd5) {
    memcpy(out, bytes, n);
    out[n] = '\0';
    return;
  }
  for (UINT i = 0; i < n; ++i) sprintf(out + 2 * i, "%02x", bytes[i]);
  out[2 * n] = '\0';
}

/* GetProcAddress returns FARPROC; convert through the bytes, not a cast
 * between unrelated function types. */
static void Find(const char *name, void *function_pointer) {
  FARPROC address = GetProcAddress(library, name);
  CHECK(address != NULL, "export %s not found", name);
  memcpy(function_pointer, &address, sizeof address);
}

#if defined(__i386__)
/* Calls fn(arg) with esp = (16-aligned) - shift at the call instruction.
 * *stack_error is the difference between the stack pointer the caller
 * expects after a stdcall callee has removed its 4 argument bytes and the
 * one it got; 0 when right. */
static BSTR CallOneShifted(DigestFn fn, const BSTR *arg, unsigned shift, int *stack_error) {
  BSTR result;
  int diff;
  unsigned scratch_d, scratch_s;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "andl $-16, %%esp\n\t"
      "subl %%ecx, %%esp\n\t"
      "movl %%esp, %%edi\n\t"
      "pushl %%eax\n\t"
      "call *%%ebx\n\t"
      "subl %%esp, %%edi\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result), "=&D"(diff), "+c"(shift), "=&d"(scratch_d), "=&S"(scratch_s)
      : "a"(arg), "b"(fn)
      : "memory", "cc");
  (void)scratch_d;
  (void)scratch_s;
  *stack_error = diff;
  return result;
}

/* The same for DoubleHashPassword's three arguments (12 bytes). */
static BSTR CallThreeShifted(PasswordFn fn, const void *const args[3], unsigned shift,
                             int *stack_error) {
  BSTR result;
  int diff;
  unsigned scratch_d, scratch_s;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "andl $-16, %%esp\n\t"
      "subl %%ecx, %%esp\n\t"
      "movl %%esp, %%edi\n\t"
      "pushl 8(%%eax)\n\t"
      "pushl 4(%%eax)\n\t"
      "pushl (%%eax)\n\t"
      "call *%%ebx\n\t"
      "subl %%esp, %%edi\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result), "=&D"(diff), "+c"(shift), "=&d"(scratch_d), "=&S"(scratch_s)
      : "a"(args), "b"(fn)
      : "memory", "cc");
  (void)scratch_d;
  (void)scratch_s;
  *stack_error = diff;
  return result;
}

static void TestStackDiscipline(void) {
  BSTR abc = Make("abc", 3);
  for (unsigned shift = 0; shift < 16; shift += 4) {
    for (int f = 0; f < kExports; ++f) {
      int stack_error = -1;
      BSTR r = CallOneShifted(digest_fns[f], &abc, shift, &stack_error);
      char text[65];
      CHECK(stack_error == 0, "%s at shift %u: stack off by %d", kNames[f], shift, stack_error);
      CHECK(r != NULL, "%s at shift %u: result", kNames[f], shift);
      if (r == NULL) continue;
      Render(f, r, text);
      CHECK(strcmp(text, kAbc[f]) == 0, "%s at shift %u = %s", kNames[f], shift, text);
      SysFreeString(r);
    }
    BSTR password = Make("password", 8);
    int32_t first = 0x12345678, second = (int32_t)0xDEADBEEFu;
    const void *args[3] = {&password, &first, &second};
    int stack_error = -1;
    BSTR proof = CallThreeShifted(double_hash, args, shift, &stack_error);
    char text[41];
    CHECK(stack_error == 0, "DoubleHashPassword at shift %u: stack off by %d", shift, stack_error);
    Render(0, proof, text);
    CHECK(strcmp(text, kProof) == 0, "DoubleHashPassword at shift %u = %s", shift, text);
    SysFreeString(proof);
    SysFreeString(password);
  }
  SysFreeString(abc);
}
#endif

static void TestExportNames(void) {
  for (int f = 0; f < kExports; ++f) Find(kNames[f], &digest_fns[f]);
  Find("DoubleHashPassword", &double_hash);
  static const char *const decorated[] = {"_StandardSHA@4", "StandardSHA@4", "_MD5@4",
                                          "DoubleHashPassword@12", "_DoubleHashPassword@12"};
  for (size_t i = 0; i < sizeof decorated / sizeof *decorated; ++i) {
    CHECK(GetProcAddress(library, decorated[i]) == NULL, "decorated name %s exported",
          decorated[i]);
  }
}

static void TestResultsAndOwnership(void) {
  BSTR abc = Make("abc", 3);
  BSTR null_handle = NULL;
  BSTR empty = Make(NULL, 0);
  BSTR zero = Make("a\0b", 3);
  const BSTR held = zero;
  for (int f = 0; f < kExports; ++f) {
    char text[65];
    BSTR r = digest_fns[f](&abc);
    CHECK(r != NULL && SysStringByteLen(r) == kLengths[f], "%s: length", kNames[f]);
    Render(f, r, text);
    CHECK(strcmp(text, kAbc[f]) == 0, "%s(abc) = %s", kNames[f], text);
    SysFreeString(r);

    BSTR a = digest_fns[f](&null_handle), b = digest_fns[f](&empty);
    CHECK(a != NULL && b != NULL && memcmp(a, b, kLengths[f]) == 0, "%s: null == empty",
          kNames[f]);
    SysFreeString(a);
    SysFreeString(b);

    BSTR first = digest_fns[f](&zero), second = digest_fns[f](&zero);
    CHECK(zero == held && SysStringByteLen(zero) == 3 && memcmp(zero, "a\0b", 3) == 0,
          "%s: argument untouched", kNames[f]);
    CHECK(first != second && first != zero, "%s: new string every call", kNames[f]);
    SysFreeString(first);
    SysFreeString(second);
  }
  BSTR password = Make("password", 8);
  int32_t first = 0x12345678, second = (int32_t)0xDEADBEEFu;
  BSTR proof = double_hash(&password, &first, &second);
  char text[41];
  Render(0, proof, text);
  CHECK(strcmp(text, kProof) == 0, "DoubleHashPassword = %s", text);
  CHECK(first == 0x12345678 && second == (int32_t)0xDEADBEEFu, "tokens untouched");
  SysFreeString(proof);
  SysFreeString(password);
  SysFreeString(abc);
  SysFreeString(empty);
  SysFreeString(zero);
}

static void TestVersionResource(void) {
  char path[MAX_PATH];
  DWORD handle = 0;
  GetModuleFileNameA(library, path, MAX_PATH);
  DWORD size = GetFileVersionInfoSizeA(path, &handle);
  CHECK(size != 0, "version resource present");
  if (size == 0) return;
  static char block[8192];
  CHECK(size <= sizeof block && GetFileVersionInfoA(path, 0, size, block), "version read");
  VS_FIXEDFILEINFO *fixed = NULL;
  UINT length = 0;
  CHECK(VerQueryValueA(block, "\\", (void **)&fixed, &length) && fixed != NULL, "fixed info");
  if (fixed != NULL) {
    CHECK(fixed->dwFileVersionMS == 0 && fixed->dwFileVersionLS == 6, "file version 0.0.0.6");
    CHECK(fixed->dwProductVersionMS == 0 && fixed->dwProductVersionLS == 6,
          "product version 0.0.0.6");
  }
  static const char *const entries[][2] = {{"FileVersion", "0.0.0.6"},
                                           {"ProductVersion", "0.0.0.6"},
                                           {"InternalName", "Quillet"},
                                           {"OriginalFilename", "Quillet.DLL"}};
  for (size_t i = 0; i < sizeof entries / sizeof *entries; ++i) {
    char query[128];
    char *value = NULL;
    snprintf(query, sizeof query, "\\StringFileInfo\\040904B0\\%s", entries[i][0]);
    CHECK(VerQueryValueA(block, query, (void **)&value, &length) && value != NULL &&
              strcmp(value, entries[i][1]) == 0,
          "%s = %s", entries[i][0], value ? value : "(missing)");
  }
}

/* Threads: every export on many inputs at once, against results computed one
 * by one beforehand. */
enum { kThreads = 8, kInputs = 120 };
static BSTR inputs[kInputs];
static unsigned char expected[kExports + 1][kInputs][32];

static BSTR CallExport(int f, int i) {
  if (f < kExports) return digest_fns[f](&inputs[i]);
  int32_t first = i * 1000003, second = -i;
  return double_hash(&inputs[i], &first, &second);
}

static UINT ResultLength(int f) { return f < kExports ? kLengths[f] : 20; }

static DWORD WINAPI Hammer(LPVOID arg) {
  const int id = (int)(INT_PTR)arg;
  DWORD bad = 0;
  for (int round = 0; round < 10; ++round) {
    for (int i = 0; i < kInputs; ++i) {
      const int f = (i + id + round) % (kExports + 1);
      BSTR r = CallExport(f, i);
      if (r == NULL || memcmp(r, expected[f][i], ResultLength(f)) != 0) ++bad;
      SysFreeString(r);
    }
  }
  return bad;
}

static void TestThreads(void) {
  for (int i = 0; i < kInputs; ++i) {
    char buffer[kInputs * 3];
    for (int j = 0; j < i * 3; ++j) buffer[j] = (char)(j * 7 + i);
    inputs[i] = i == 0 ? NULL : Make(buffer, (UINT)(i * 3));
    for (int f = 0; f <= kExports; ++f) {
      BSTR r = CallExport(f, i);
      memcpy(expected[f][i], r, ResultLength(f));
      SysFreeString(r);
    }
  }
  HANDLE threads[kThreads];
  for (int t = 0; t < kThreads; ++t) {
    threads[t] = CreateThread(NULL, 0, Hammer, (LPVOID)(INT_PTR)t, 0, NULL);
  }
  WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
  for (int t = 0; t < kThreads; ++t) {
    DWORD bad = 1;
    GetExitCodeThread(threads[t], &bad);
    CHECK(bad == 0, "thread %d: %lu results differ", t, (unsigned long)bad);
    CloseHandle(threads[t]);
  }
  for (int i = 0; i < kInputs; ++i) SysFreeString(inputs[i]);
}

int main(void) {
  library = LoadLibraryA("Quillet.DLL");
  if (library == NULL) {
    fprintf(stderr, "cannot load Quillet.DLL: error %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  TestExportNames();
  if (failures == 0) {
    TestResultsAndOwnership();
#if defined(__i386__)
    TestStackDiscipline();
#endif
    TestVersionResource();
    TestThreads();
  }
  FreeLibrary(library);
  printf("%ld passed, %ld failed\n", (long)(checks - failures), (long)failures);
  return failures == 0 ? 0 : 1;
}
