/* The library as a C program in another process sees it, whatever loads it:
 * the five exports found by name, the byte-string allocator, and the tests
 * every platform runs on them (caller_body.c). Each platform's loader
 * (dlopen_test.c, windows/win_caller_test.c, windows/pe_loader_test.c) fills
 * in Caller and adds its own checks. */
#ifndef QUILLET_TESTS_CALLER_H_
#define QUILLET_TESTS_CALLER_H_

#include <stdint.h>
#include <stdio.h>

#include "quillet/quillet.h"

/* The exports' calling convention as this caller sees it: a loader built
 * for another system than the library's names it (CALLER_CALL). */
#ifndef CALLER_CALL
#define CALLER_CALL QUILLET_CALL
#endif
typedef ByteString(CALLER_CALL *DigestFn)(const ByteString *);
typedef ByteString(CALLER_CALL *PasswordFn)(const ByteString *, const int32_t *, const int32_t *);

/* The one-argument exports, in this order; MD5 returns text, the others raw
 * bytes. */
enum { kExports = 4, kMd5 = 3 };
extern const char *const kExportNames[kExports];
extern const unsigned int kResultLengths[kExports];

struct Caller {
  DigestFn digest[kExports];
  PasswordFn double_hash;
  ByteString (*alloc)(const char *bytes, unsigned int length);
  void (*release)(ByteString s);
  unsigned int (*length)(ByteString s);
  /* Runs body(i) on `count` threads at once; their results in results[i]. */
  void (*run_threads)(int count, intptr_t (*body)(intptr_t), intptr_t *results);
};
extern struct Caller caller;

/* run_threads on POSIX threads (posix_threads.c). */
void RunPosixThreads(int count, intptr_t (*body)(intptr_t), intptr_t *results);

extern int failures;
extern int checks;

#define CHECK(cond, ...)                              \
  do {                                                \
    ++checks;                                         \
    if (!(cond)) {                                    \
      ++failures;                                     \
      fprintf(stderr, "%s:%d: ", __FILE__, __LINE__); \
      fprintf(stderr, __VA_ARGS__);                   \
      fputc('\n', stderr);                            \
    }                                                 \
  } while (0)

/* A result as printable text: hex for raw digests, the text itself for MD5
 * (f == kMd5); `out` has room for 65 characters. */
void Render(int f, ByteString s, char *out);

/* Calls each() for every line of an answer file (tests/vectors'
 * known_answers.txt's form): the digest's name, the message as written and
 * its bytes, and the rest of the line (the answer; a proof's tokens first).
 * Returns how many lines each() counted (returned non-zero for). */
typedef int (*AnswerFn)(const char *digest, const char *field, const char *message, long length,
                        const char *rest);
int ReadAnswers(const char *path, AnswerFn each);

/* The tests every platform runs: the known answers of
 * tests/vectors/known_answers.txt (QUILLET_KNOWN_ANSWERS), null and empty
 * handles, zero bytes and ownership, the password proof, several threads. */
void RunCommonTests(void);

/* Prints the count and returns the exit status. */
int Finish(void);

#endif /* QUILLET_TESTS_CALLER_H_ */
