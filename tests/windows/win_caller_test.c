/* Quillet.DLL as a Windows program sees it: LoadLibrary, GetProcAddress by
 * undecorated name, calls through stdcall function pointers, strings from the
 * real OLE allocator. The tests are caller_body.c's, and Windows' own: no
 * decorated names, the version resource, and on 32-bit x86 every export
 * called with the stack at each 4-byte misalignment, checking that the
 * callee removed exactly its argument bytes and kept the caller's
 * registers. */
#include <windows.h>
#include <oleauto.h>
#include <string.h>

#include "../boundary/caller.h"

static HMODULE library;

/* GetProcAddress returns FARPROC; convert through the bytes, not a cast
 * between unrelated function types. */
static void Find(const char *name, void *function_pointer) {
  FARPROC address = GetProcAddress(library, name);
  CHECK(address != NULL, "export %s not found", name);
  memcpy(function_pointer, &address, sizeof address);
}

static ByteString Alloc(const char *bytes, unsigned int length) {
  return SysAllocStringByteLen(bytes, length);
}
static void Release(ByteString s) { SysFreeString(s); }
static unsigned int Length(ByteString s) { return SysStringByteLen(s); }

struct Job {
  intptr_t (*body)(intptr_t);
  intptr_t id, result;
};

static DWORD WINAPI RunJob(LPVOID arg) {
  struct Job *job = arg;
  job->result = job->body(job->id);
  return 0;
}

static void RunThreads(int count, intptr_t (*body)(intptr_t), intptr_t *results) {
  struct Job jobs[16];
  HANDLE threads[16] = {0};
  for (int t = 0; t < count; ++t) {
    jobs[t].body = body;
    jobs[t].id = t;
    threads[t] = CreateThread(NULL, 0, RunJob, &jobs[t], 0, NULL);
  }
  WaitForMultipleObjects((DWORD)count, threads, TRUE, INFINITE);
  for (int t = 0; t < count; ++t) {
    CloseHandle(threads[t]);
    results[t] = jobs[t].result;
  }
}

#if defined(__i386__)
/* The expected text of each export's result for "abc", and the proof of
 * "password", as the known-answer file has them. */
static const char *const kAbc[kExports] = {
    "a9993e364706816aba3e25717850c26c9cd0d89d",
    "7a7af57b99e91bcce6dc75f981fe2255d6c878ab",
    "50c8e95373d4856f7567b73c2df9da981062e20a",
    "900150983CD24FB0D6963F7D28E17F72"};
static const char kProof[] = "f5dd47fed4f843073ee91935a884d148c493da05";
#endif

#if defined(__i386__)
/* Calls fn(arg) with esp = (16-aligned) - shift at the call instruction.
 * *stack_error is the difference between the stack pointer the caller
 * expects after a stdcall callee has removed its 4 argument bytes and the
 * one it got; 0 when right. */
static ByteString CallOneShifted(DigestFn fn, const ByteString *arg, unsigned shift, int *stack_error) {
  ByteString result;
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
static ByteString CallThreeShifted(PasswordFn fn, const void *const args[3], unsigned shift,
                             int *stack_error) {
  ByteString result;
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
  ByteString abc = Alloc("abc", 3);
  for (unsigned shift = 0; shift < 16; shift += 4) {
    for (int f = 0; f < kExports; ++f) {
      int stack_error = -1;
      ByteString r = CallOneShifted(caller.digest[f], &abc, shift, &stack_error);
      char text[65];
      CHECK(stack_error == 0, "%s at shift %u: stack off by %d", kExportNames[f], shift, stack_error);
      CHECK(r != NULL, "%s at shift %u: result", kExportNames[f], shift);
      if (r == NULL) continue;
      Render(f, r, text);
      CHECK(strcmp(text, kAbc[f]) == 0, "%s at shift %u = %s", kExportNames[f], shift, text);
      SysFreeString(r);
    }
    ByteString password = Alloc("password", 8);
    int32_t first = 0x12345678, second = (int32_t)0xDEADBEEFu;
    const void *args[3] = {&password, &first, &second};
    int stack_error = -1;
    ByteString proof = CallThreeShifted(caller.double_hash, args, shift, &stack_error);
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
  for (int f = 0; f < kExports; ++f) Find(kExportNames[f], &caller.digest[f]);
  Find("DoubleHashPassword", &caller.double_hash);
  static const char *const decorated[] = {"_StandardSHA@4", "StandardSHA@4", "_MD5@4",
                                          "DoubleHashPassword@12", "_DoubleHashPassword@12"};
  for (size_t i = 0; i < sizeof decorated / sizeof *decorated; ++i) {
    CHECK(GetProcAddress(library, decorated[i]) == NULL, "decorated name %s exported",
          decorated[i]);
  }
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

int main(void) {
  library = LoadLibraryA("Quillet.DLL");
  if (library == NULL) {
    fprintf(stderr, "cannot load Quillet.DLL: error %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  caller.alloc = Alloc;
  caller.release = Release;
  caller.length = Length;
  caller.run_threads = RunThreads;
  TestExportNames();
  if (failures == 0) {
    RunCommonTests();
#if defined(__i386__)
    TestStackDiscipline();
#endif
    TestVersionResource();
  }
  FreeLibrary(library);
  return Finish();
}
