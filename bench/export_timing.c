/* The timing loop of export_timing.h. */
#include "export_timing.h"

#include <stdlib.h>
#include <time.h>

enum { kSizes = 4, kRepeats = 5 };
static const unsigned int kSizesTimed[kSizes] = {3, 1024, 16384, 1048576};
static const char *const kNames[kExports + 1] = {"StandardSHA", "BrokenSHA", "LockdownSHA", "MD5",
                                                 "DoubleHashPassword"};
static const unsigned int kLengths[kExports + 1] = {20, 20, 20, 32, 20};

/* The calling thread's CPU time (user and system): on a shared machine the
 * time it spends waiting for a CPU does not count. */
static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

/* One call of export f (f == kExports: the password proof). */
static ByteString Call(const struct Caller *table, int f, const ByteString *input) {
  static const int32_t first = 0x01020304, second = -5;
  return f < kExports ? table->digest[f](input) : table->double_hash(input, &first, &second);
}

/* Seconds taken by `calls` calls, each result released. */
static double Batch(const struct Caller *table, int f, const ByteString *input, long calls) {
  const double start = Now();
  for (long c = 0; c < calls; ++c) table->release(Call(table, f, input));
  return Now() - start;
}

int TimeExports(const struct Caller *table, double seconds) {
  char *bytes = malloc(kSizesTimed[kSizes - 1]);
  if (bytes == NULL) return 1;
  for (unsigned int i = 0; i < kSizesTimed[kSizes - 1]; ++i) bytes[i] = (char)(i * 131 + 7);
  printf("%-20s", "ns per call");
  for (int s = 0; s < kSizes; ++s) printf(" %12u", kSizesTimed[s]);
  printf("\n");
  int status = 0;
  for (int f = 0; f <= kExports; ++f) {
    printf("%-20s", kNames[f]);
    for (int s = 0; s < kSizes; ++s) {
      ByteString input = table->alloc(bytes, kSizesTimed[s]);
      ByteString check = input ? Call(table, f, &input) : NULL;
      if (check == NULL || table->length(check) != kLengths[f]) {
        fprintf(stderr, "\n%s at %u bytes: no result, or one of the wrong length\n", kNames[f],
                kSizesTimed[s]);
        status = 1;
      }
      table->release(check);
      /* As many calls as take about `seconds`, found by doubling. */
      long calls = 1;
      double taken = Batch(table, f, &input, calls);
      while (taken < seconds / 4 && calls < (1L << 30)) {
        calls *= 2;
        taken = Batch(table, f, &input, calls);
      }
      if (taken < seconds) calls = (long)((double)calls * seconds / (taken > 0 ? taken : 1e-9)) + 1;
      double best = 1e300;
      for (int r = 0; r < kRepeats; ++r) {
        const double per_call = Batch(table, f, &input, calls) / (double)calls;
        if (per_call < best) best = per_call;
      }
      printf(" %12.0f", best * 1e9);
      fflush(stdout);
      table->release(input);
    }
    printf("\n");
  }
  free(bytes);
  return status;
}
