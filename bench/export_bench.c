/* The exports of libquillet.so timed as a C program that loads it with
 * dlopen calls them, with the loop the PE loader's --bench mode runs on
 * Quillet.DLL (export_timing.c), so that the two tables compare.
 *
 *   quillet_export_bench [SECONDS [LIBRARY]]
 *
 * SECONDS: the length of each repetition (default 0.1); LIBRARY: the
 * library to load (default: this build's). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

#include "export_timing.h"
#include "../tests/boundary/need_symbol.h"

int main(int argc, char **argv) {
  const double seconds = argc > 1 ? atof(argv[1]) : 0.1;
  const char *path = argc > 2 ? argv[2] : QUILLET_LIBRARY_PATH;
  void *library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL || !(seconds > 0)) {
    fprintf(stderr, "usage: %s [SECONDS [LIBRARY]]: %s\n", argv[0],
            library ? "SECONDS must be positive" : dlerror());
    return 2;
  }
  static const char *const names[kExports] = {"StandardSHA", "BrokenSHA", "LockdownSHA", "MD5"};
  struct Caller table;
  memset(&table, 0, sizeof table);
  for (int f = 0; f < kExports; ++f) Need(library, names[f], &table.digest[f]);
  Need(library, "DoubleHashPassword", &table.double_hash);
  Need(library, "SysAllocStringByteLen", &table.alloc);
  Need(library, "SysFreeString", &table.release);
  Need(library, "SysStringByteLen", &table.length);
  return TimeExports(&table, seconds);
}
