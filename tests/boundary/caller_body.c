/* The tests of the exports that every platform's caller runs (caller.h). */
#include <stdlib.h>
#include <string.h>

#include "caller.h"

const char *const kExportNames[kExports] = {"StandardSHA", "BrokenSHA", "LockdownSHA", "MD5"};
const unsigned int kResultLengths[kExports] = {20, 20, 20, 32};
struct Caller caller;
int failures;
int checks;

void Render(int f, ByteString s, char *out) {
  const unsigned char *bytes = (const unsigned char *)s;
  const unsigned int n = caller.length(s);
  if (f == kMd5) {
    memcpy(out, bytes, n);
    out[n] = '\0';
    return;
  }
  for (unsigned int i = 0; i < n; ++i) sprintf(out + 2 * i, "%02x", bytes[i]);
  out[2 * n] = '\0';
}

static ByteString Make(const char *bytes, unsigned int length) { return caller.alloc(bytes, length); }

/* One message of an answer file: "text" (escapes \xNN, \\, \"),
 * "text"*COUNT, bytes(0..255), or pattern(LENGTH,SEED), whose byte i is
 * (i * 131 + SEED * 7 + (i >> 8)) mod 256. Returns its length, or -1. */
static long ParseMessage(const char *field, char *out, size_t room) {
  if (strcmp(field, "bytes(0..255)") == 0) {
    for (int i = 0; i < 256; ++i) out[i] = (char)i;
    return 256;
  }
  unsigned long length, seed;
  if (sscanf(field, "pattern(%lu,%lu)", &length, &seed) == 2) {
    if (length > room) return -1;
    for (unsigned long i = 0; i < length; ++i) out[i] = (char)((i * 131 + seed * 7 + (i >> 8)) & 255);
    return (long)length;
  }
  if (field[0] != '"') return -1;
  char text[256];
  size_t n = 0;
  const char *p = field + 1;
  for (; *p != '\0' && *p != '"' && n < sizeof text; ++p) {
    if (*p == '\\' && p[1] == 'x' && p[2] && p[3]) {
      const char hex[3] = {p[2], p[3], 0};
      text[n++] = (char)strtoul(hex, NULL, 16);
      p += 3;
    } else if (*p == '\\' && p[1]) {
      text[n++] = *++p;
    } else {
      text[n++] = *p;
    }
  }
  if (*p != '"') return -1;
  const unsigned long times = p[1] == '*' ? strtoul(p + 2, NULL, 10) : 1;
  if (times * n > room) return -1;
  for (unsigned long t = 0; t < times; ++t) memcpy(out + t * n, text, n);
  return (long)(times * n);
}

int ReadAnswers(const char *path, AnswerFn each) {
  FILE *file = fopen(path, "rb");
  CHECK(file != NULL, "cannot open %s", path);
  if (file == NULL) return 0;
  static char message[1 << 20];
  char line[4096];
  int answers = 0;
  while (fgets(line, sizeof line, file) != NULL) {
    line[strcspn(line, "\r\n")] = '\0';
    if (line[0] == '\0' || line[0] == '#') continue;
    /* DIGEST, then the message (quoted, so it may hold spaces), then the rest. */
    char *digest = line, *field = strchr(line, ' ');
    CHECK(field != NULL, "line without a message: %s", line);
    if (field == NULL) continue;
    *field++ = '\0';
    char *rest = field;
    if (*rest == '"') {
      for (++rest; *rest != '\0' && *rest != '"'; ++rest) {
        if (*rest == '\\' && rest[1] != '\0') ++rest;
      }
    }
    rest = strchr(rest, ' ');
    CHECK(rest != NULL, "line without an answer: %s", digest);
    if (rest == NULL) continue;
    *rest++ = '\0';
    const long length = ParseMessage(field, message, sizeof message);
    CHECK(length >= 0, "unreadable message %s", field);
    if (length < 0) continue;
    if (each(digest, field, message, length, rest)) ++answers;
  }
  fclose(file);
  return answers;
}

/* One line through its export. */
static int CheckAnswer(const char *digest, const char *field, const char *message, long length,
                       const char *rest) {
  ByteString argument = Make(message, (unsigned int)length);
  ByteString result = NULL;
  int f = kExports;
  const char *want = rest;
  if (strcmp(digest, "DoubleHashPassword") == 0) {
    const char *second = strchr(rest, ' ');
    const char *answer = second ? strchr(second + 1, ' ') : NULL;
    CHECK(answer != NULL, "a proof needs two tokens and an answer");
    if (answer == NULL) {
      caller.release(argument);
      return 0;
    }
    const int32_t first_token = (int32_t)strtoul(rest, NULL, 16);
    const int32_t second_token = (int32_t)strtoul(second + 1, NULL, 16);
    want = answer + 1;
    result = caller.double_hash(&argument, &first_token, &second_token);
    f = 0;  /* rendered as hex, as the SHA-1 exports */
  } else {
    for (int e = 0; e < kExports; ++e) {
      if (strcmp(digest, kExportNames[e]) == 0) f = e;
    }
    CHECK(f < kExports, "unknown digest %s", digest);
    if (f == kExports) {
      caller.release(argument);
      return 0;
    }
    result = caller.digest[f](&argument);
  }
  char text[65] = "";
  CHECK(result != NULL && caller.length(result) == (f == kMd5 ? 32u : 20u), "%s: length",
        digest);
  if (result != NULL) Render(f, result, text);
  CHECK(strcmp(text, want) == 0, "%s(%s) = %s, not %s", digest, field, text, want);
  caller.release(result);
  caller.release(argument);
  return 1;
}

/* Every line of an answer file through its export: at least `minimum`. */
static void TestAnswers(const char *path, int minimum) {
  const int answers = ReadAnswers(path, CheckAnswer);
  CHECK(answers >= minimum, "only %d answers read from %s", answers, path);
}

static void TestEmptyHandles(void) {
  ByteString null_handle = NULL;
  ByteString empty = Make(NULL, 0);
  for (int f = 0; f < kExports; ++f) {
    ByteString a = caller.digest[f](&null_handle);
    ByteString b = caller.digest[f](&empty);
    ByteString c = caller.digest[f](NULL); /* no variable at all: the null handle */
    CHECK(a != NULL && b != NULL && c != NULL, "%s: empty input still gives a result",
          kExportNames[f]);
    if (a && b && c) {
      CHECK(caller.length(a) == kResultLengths[f] && caller.length(b) == kResultLengths[f] &&
                caller.length(c) == kResultLengths[f],
            "%s: length", kExportNames[f]);
      CHECK(memcmp(a, b, kResultLengths[f]) == 0 && memcmp(a, c, kResultLengths[f]) == 0,
            "%s: null handle, empty string and null reference agree", kExportNames[f]);
    }
    CHECK(null_handle == NULL, "%s: the caller's null variable is untouched", kExportNames[f]);
    caller.release(a);
    caller.release(b);
    caller.release(c);
  }
  caller.release(empty);
}

static void TestZeroBytesAndOwnership(void) {
  ByteString with_zero = Make("a\0b", 3);
  ByteString just_a = Make("a", 1);
  const ByteString held = with_zero;
  for (int f = 0; f < kExports; ++f) {
    ByteString first = caller.digest[f](&with_zero);
    ByteString second = caller.digest[f](&with_zero);
    ByteString other = caller.digest[f](&just_a);
    CHECK(with_zero == held, "%s: handle variable unchanged", kExportNames[f]);
    CHECK(caller.length(with_zero) == 3 && memcmp(with_zero, "a\0b", 3) == 0,
          "%s: input bytes unchanged", kExportNames[f]);
    CHECK(first != with_zero && first != second, "%s: every result is a new string",
          kExportNames[f]);
    CHECK(memcmp(first, second, kResultLengths[f]) == 0, "%s: same input, same digest",
          kExportNames[f]);
    CHECK(memcmp(first, other, kResultLengths[f]) != 0, "%s: the zero byte and b are content",
          kExportNames[f]);
    caller.release(first);
    caller.release(second);
    caller.release(other);
  }
  caller.release(with_zero);
  caller.release(just_a);
}

/* The password proof leaves its arguments alone; null and empty passwords
 * agree. */
static void TestPassword(void) {
  ByteString password = Make("password", 8);
  const ByteString held = password;
  int32_t first = 0x12345678, second = (int32_t)0xDEADBEEFu;
  ByteString proof = caller.double_hash(&password, &first, &second);
  CHECK(proof != NULL && caller.length(proof) == 20, "proof is 20 bytes");
  CHECK(password == held && memcmp(password, "password", 8) == 0, "password untouched");
  CHECK(first == 0x12345678 && second == (int32_t)0xDEADBEEFu, "tokens untouched");
  caller.release(proof);
  caller.release(password);

  ByteString null_handle = NULL, empty = Make(NULL, 0);
  first = second = 0;
  ByteString a = caller.double_hash(&null_handle, &first, &second);
  ByteString b = caller.double_hash(&empty, &first, &second);
  CHECK(a != NULL && b != NULL && memcmp(a, b, 20) == 0, "null and empty passwords agree");
  caller.release(a);
  caller.release(b);
  caller.release(empty);

  /* A null reference reads as the null handle or the token 0: each in turn,
   * against the same call with the value spelt out. */
  password = Make("pw", 2);
  const int32_t zero = 0, five = 5, seven = 7;
  const struct {
    const ByteString *password;
    const int32_t *first, *second;
    const ByteString *as_password;
    const int32_t *as_first, *as_second;
  } nulls[] = {
      {NULL, &five, &seven, &null_handle, &five, &seven},
      {&password, NULL, &seven, &password, &zero, &seven},
      {&password, &five, NULL, &password, &five, &zero},
      {NULL, NULL, NULL, &null_handle, &zero, &zero},
  };
  for (size_t i = 0; i < sizeof nulls / sizeof nulls[0]; ++i) {
    a = caller.double_hash(nulls[i].password, nulls[i].first, nulls[i].second);
    b = caller.double_hash(nulls[i].as_password, nulls[i].as_first, nulls[i].as_second);
    CHECK(a != NULL && b != NULL && memcmp(a, b, 20) == 0, "null reference %d", (int)i);
    caller.release(a);
    caller.release(b);
  }
  caller.release(password);
}

/* Threads: every export on many inputs at once, against results computed one
 * by one beforehand. */
enum { kThreads = 8, kInputs = 120, kRounds = 10 };
static ByteString inputs[kInputs];
static unsigned char expected[kExports + 1][kInputs][32];

/* Export f on input i; f == kExports is the password proof. */
static ByteString CallExport(int f, int i) {
  if (f < kExports) return caller.digest[f](&inputs[i]);
  const int32_t first = i * 1000003, second = -i;
  return caller.double_hash(&inputs[i], &first, &second);
}

static unsigned int ResultLength(int f) { return f < kExports ? kResultLengths[f] : 20; }

static intptr_t Hammer(intptr_t id) {
  intptr_t bad = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (int i = 0; i < kInputs; ++i) {
      const int f = (int)((i + id + round) % (kExports + 1));
      ByteString r = CallExport(f, i);
      if (r == NULL || memcmp(r, expected[f][i], ResultLength(f)) != 0) ++bad;
      caller.release(r);
    }
  }
  return bad;
}

static void TestThreads(void) {
  for (int i = 0; i < kInputs; ++i) {
    char buffer[kInputs * 3];
    for (int j = 0; j < i * 3; ++j) buffer[j] = (char)(j * 7 + i);
    inputs[i] = i == 0 ? NULL : Make(buffer, (unsigned int)(i * 3));
    for (int f = 0; f <= kExports; ++f) {
      ByteString r = CallExport(f, i);
      memcpy(expected[f][i], r, ResultLength(f));
      caller.release(r);
    }
  }
  intptr_t bad[kThreads];
  caller.run_threads(kThreads, Hammer, bad);
  for (int t = 0; t < kThreads; ++t) {
    CHECK(bad[t] == 0, "thread %d: %ld results differ", t, (long)bad[t]);
  }
  for (int i = 0; i < kInputs; ++i) caller.release(inputs[i]);
}

void RunCommonTests(void) {
  TestAnswers(QUILLET_KNOWN_ANSWERS, 40);
#ifdef QUILLET_MODEL_ANSWERS
  /* Thousands of inputs, answered by the plain model (model_answers.py). */
  TestAnswers(QUILLET_MODEL_ANSWERS, 2000);
#endif
  TestEmptyHandles();
  TestZeroBytesAndOwnership();
  TestPassword();
  TestThreads();
}

int Finish(void) {
  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
