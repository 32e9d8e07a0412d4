/* The library as a C program sees it: loaded by name with dlopen, every
 * function found with dlsym, after other libraries that export functions of
 * the same names (OpenSSL's libcrypto has its own MD5, and a decoy exports
 * the allocator's names) were loaded into the global namespace. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quillet/quillet.h"

typedef ByteString (*DigestFn)(const ByteString *);
typedef ByteString (*PasswordFn)(const ByteString *, const int32_t *, const int32_t *);
typedef ByteString (*AllocFn)(const char *, unsigned int);
typedef void (*FreeFn)(ByteString);
typedef unsigned int (*LengthFn)(ByteString);

/* The one-argument exports; MD5 returns text, the others raw bytes. */
enum { kExports = 4, kMd5 = 3 };
static const char *const kNames[kExports] = {"StandardSHA", "BrokenSHA", "LockdownSHA", "MD5"};
static const unsigned int kLengths[kExports] = {20, 20, 20, 32};
static const char *const kAbc[kExports] = {
    "a9993e364706816aba3e25717850c26c9cd0d89d",
    "7a7af57b99e91bcce6dc75f981fe2255d6c878ab",
    "50c8e95373d4856f7567b73c2df9da981062e20a",
    "900150983CD24FB0D6963F7D28E17F72"};

static DigestFn digest_fns[kExports];
static PasswordFn double_hash;
static AllocFn alloc_string;
static FreeFn free_string;
static LengthFn string_length;
static int failures;
static int checks;

#define CHECK(cond, ...)                                   \
  do {                                                     \
    ++checks;                                              \
    if (!(cond)) {                                         \
      ++failures;                                          \
      fprintf(stderr, "%s:%d: ", __FILE__, __LINE__);      \
      fprintf(stderr, __VA_ARGS__);                        \
      fputc('\n', stderr);                                 \
    }                                                      \
  } while (0)

/* dlsym gives an object pointer; POSIX guarantees it converts to the
 * function's pointer, which ISO C only allows through the bytes. */
static void Need(void *library, const char *name, void *function_pointer) {
  void *symbol = dlsym(library, name);
  if (symbol == NULL) {
    fprintf(stderr, "missing symbol %s: %s\n", name, dlerror());
    exit(1);
  }
  memcpy(function_pointer, &symbol, sizeof symbol);
}

static void ToHex(ByteString s, char *out) {
  unsigned int n = string_length(s);
  for (unsigned int i = 0; i < n; ++i) sprintf(out + 2 * i, "%02x", s[i]);
  out[2 * n] = '\0';
}

/* A result as printable text: hex for raw digests, the text itself for MD5. */
static void Render(int f, ByteString s, char *out) {
  if (f == kMd5) {
    memcpy(out, s, 32);
    out[32] = '\0';
  } else {
    ToHex(s, out);
  }
}

static ByteString Make(const char *bytes, unsigned int length) {
  return alloc_string(bytes, length);
}

static void TestKnownAnswers(void) {
  ByteString abc = Make("abc", 3);
  for (int f = 0; f < kExports; ++f) {
    ByteString result = digest_fns[f](&abc);
    char hex[65];
    CHECK(result != NULL && string_length(result) == kLengths[f], "%s: length", kNames[f]);
    if (result == NULL) continue;
    Render(f, result, hex);
    CHECK(strcmp(hex, kAbc[f]) == 0, "%s(abc) = %s", kNames[f], hex);
    free_string(result);
  }
  free_string(abc);
}

static void TestEmptyHandles(void) {
  ByteString null_handle = NULL;
  ByteString empty = Make(NULL, 0);
  CHECK(empty != NULL && string_length(empty) == 0, "length 0 gives a non-null empty string");
  for (int f = 0; f < kExports; ++f) {
    ByteString a = digest_fns[f](&null_handle);
    ByteString b = digest_fns[f](&empty);
    CHECK(a != NULL && b != NULL, "%s: empty input still gives a result", kNames[f]);
    if (a && b) {
      CHECK(string_length(a) == kLengths[f] && string_length(b) == kLengths[f], "%s: length",
            kNames[f]);
      CHECK(memcmp(a, b, kLengths[f]) == 0, "%s: null and empty agree", kNames[f]);
    }
    CHECK(null_handle == NULL, "%s: the caller's null variable is untouched", kNames[f]);
    free_string(a);
    free_string(b);
  }
  free_string(empty);
}

static void TestZeroBytesAndOwnership(void) {
  ByteString with_zero = Make("a\0b", 3);
  ByteString just_a = Make("a", 1);
  const ByteString held = with_zero;
  for (int f = 0; f < kExports; ++f) {
    ByteString first = digest_fns[f](&with_zero);
    ByteString second = digest_fns[f](&with_zero);
    ByteString other = digest_fns[f](&just_a);
    CHECK(with_zero == held, "%s: handle variable unchanged", kNames[f]);
    CHECK(string_length(with_zero) == 3 && memcmp(with_zero, "a\0b", 3) == 0,
          "%s: input bytes unchanged", kNames[f]);
    CHECK(first != with_zero && first != second, "%s: every result is a new string", kNames[f]);
    CHECK(memcmp(first, second, kLengths[f]) == 0, "%s: same input, same digest", kNames[f]);
    CHECK(memcmp(first, other, kLengths[f]) != 0, "%s: the zero byte and b are content",
          kNames[f]);
    free_string(first);
    free_string(second);
    free_string(other);
  }
  char hex[41];
  ByteString standard = digest_fns[0](&with_zero);
  ToHex(standard, hex);
  CHECK(strcmp(hex, "4a3dec2d1f8245280855c42db0ee4239f917fdb8") == 0, "SHA-1(a,0,b) = %s", hex);
  free_string(standard);
  free_string(with_zero);
  free_string(just_a);
}

/* The password proof: a known answer from the independent model in
 * tests/reference, null and empty passwords, arguments left alone. */
static void TestPassword(void) {
  ByteString password = Make("password", 8);
  const ByteString held = password;
  int32_t first = 0x12345678, second = (int32_t)0xDEADBEEFu;
  ByteString proof = double_hash(&password, &first, &second);
  char hex[41];
  CHECK(proof != NULL && string_length(proof) == 20, "proof is 20 bytes");
  ToHex(proof, hex);
  CHECK(strcmp(hex, "f5dd47fed4f843073ee91935a884d148c493da05") == 0, "proof = %s", hex);
  CHECK(password == held && memcmp(password, "password", 8) == 0, "password untouched");
  CHECK(first == 0x12345678 && second == (int32_t)0xDEADBEEFu, "tokens untouched");
  free_string(proof);
  free_string(password);

  ByteString null_handle = NULL, empty = Make(NULL, 0);
  first = second = 0;
  ByteString a = double_hash(&null_handle, &first, &second);
  ByteString b = double_hash(&empty, &first, &second);
  ToHex(a, hex);
  CHECK(strcmp(hex, "4e57d3e7a327441145f3d3d3725c9a5cf6f57b85") == 0, "empty proof = %s", hex);
  CHECK(memcmp(a, b, 20) == 0, "null and empty passwords agree");
  free_string(a);
  free_string(b);
  free_string(empty);
}

static void TestAllocator(void) {
  ByteString s = Make("xyz", 3);
  CHECK(string_length(s) == 3 && s[3] == 0 && s[4] == 0, "content then two zero bytes");
  free_string(s);
  s = Make(NULL, 5);
  CHECK(string_length(s) == 5, "count stored");
  for (int i = 0; i < 7; ++i) CHECK(s[i] == 0, "a null source leaves zeroed content");
  CHECK(((unsigned)s[-4] | (unsigned)s[-3] << 8 | (unsigned)s[-2] << 16 | (unsigned)s[-1] << 24) == 5u,
        "count little-endian before the first byte");
  free_string(s);
  free_string(NULL);
  CHECK(string_length(NULL) == 0, "null has length 0");
}

/* Threads: every export on many inputs at once, against results computed one
 * by one beforehand. */
enum { kThreads = 8, kInputs = 160 };
static ByteString inputs[kInputs];
static unsigned char expected[kExports + 1][kInputs][32];

/* Export f on input i; f == kExports is the password proof. */
static ByteString CallExport(int f, int i) {
  if (f < kExports) return digest_fns[f](&inputs[i]);
  int32_t first = i * 1000003, second = -i;
  return double_hash(&inputs[i], &first, &second);
}

static unsigned int ResultLength(int f) { return f < kExports ? kLengths[f] : 20; }

static void *Hammer(void *arg) {
  intptr_t id = (intptr_t)arg;
  intptr_t bad = 0;
  for (int round = 0; round < 20; ++round) {
    for (int i = 0; i < kInputs; ++i) {
      int f = (int)((i + id + round) % (kExports + 1));
      ByteString r = CallExport(f, i);
      if (r == NULL || memcmp(r, expected[f][i], ResultLength(f)) != 0) ++bad;
      free_string(r);
    }
  }
  return (void *)bad;
}

static void TestThreads(void) {
  for (int i = 0; i < kInputs; ++i) {
    char buffer[kInputs * 3];
    for (int j = 0; j < i * 3; ++j) buffer[j] = (char)(j * 7 + i);
    inputs[i] = i == 0 ? NULL : Make(buffer, (unsigned)(i * 3));
    for (int f = 0; f <= kExports; ++f) {
      ByteString r = CallExport(f, i);
      memcpy(expected[f][i], r, ResultLength(f));
      free_string(r);
    }
  }
  pthread_t threads[kThreads];
  for (intptr_t t = 0; t < kThreads; ++t) pthread_create(&threads[t], NULL, Hammer, (void *)t);
  for (int t = 0; t < kThreads; ++t) {
    void *bad;
    pthread_join(threads[t], &bad);
    CHECK(bad == NULL, "thread %d: %ld results differ", t, (long)(intptr_t)bad);
  }
  for (int i = 0; i < kInputs; ++i) free_string(inputs[i]);
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s DECOY_LIBRARY\n", argv[0]);
    return 2;
  }
  if (dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL) == NULL ||
      dlopen("libcrypto.so.3", RTLD_NOW | RTLD_GLOBAL) == NULL) {
    fprintf(stderr, "cannot load the libraries that go first: %s\n", dlerror());
    return 1;
  }
  void *library = dlopen("libquillet.so", RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "cannot load libquillet.so: %s\n", dlerror());
    return 1;
  }
  for (int f = 0; f < kExports; ++f) Need(library, kNames[f], &digest_fns[f]);
  Need(library, "DoubleHashPassword", &double_hash);
  Need(library, "SysAllocStringByteLen", &alloc_string);
  Need(library, "SysFreeString", &free_string);
  Need(library, "SysStringByteLen", &string_length);

  TestKnownAnswers();
  TestEmptyHandles();
  TestZeroBytesAndOwnership();
  TestPassword();
  TestAllocator();
  TestThreads();

  dlclose(library);
  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
