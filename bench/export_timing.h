/* The five exports timed through a caller's table (tests/boundary/caller.h):
 * the same loop for every way of loading the library, so that their figures
 * compare. Used by the PE loader's --bench mode (Quillet.DLL) and by
 * export_bench.c (libquillet.so through dlopen). */
#ifndef QUILLET_BENCH_EXPORT_TIMING_H_
#define QUILLET_BENCH_EXPORT_TIMING_H_

#include "../tests/boundary/caller.h"

/* Prints a table to stdout: a header line ("ns per call" and the sizes),
 * then one line per export (its name, then nanoseconds per call at each
 * size: the best of several repetitions, each lasting about `seconds` of
 * the thread's CPU time).
 * Uses table->digest, double_hash, alloc, release and length. Returns 0, or
 * 1 after saying so if a call returned no string or one of the wrong length. */
int TimeExports(const struct Caller *table, double seconds);

#endif /* QUILLET_BENCH_EXPORT_TIMING_H_ */
