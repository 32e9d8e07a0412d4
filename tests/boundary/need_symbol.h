/* A function of a library loaded with dlopen, found by name or the program
 * ends saying which is missing. dlsym gives an object pointer; POSIX
 * guarantees it converts to the function's pointer, which ISO C only allows
 * through the bytes. */
#ifndef QUILLET_NEED_SYMBOL_H_
#define QUILLET_NEED_SYMBOL_H_

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static inline void Need(void *library, const char *name, void *function_pointer) {
  void *symbol = dlsym(library, name);
  if (symbol == NULL) {
    fprintf(stderr, "missing symbol %s: %s\n", name, dlerror());
    exit(1);
  }
  memcpy(function_pointer, &symbol, sizeof symbol);
}

#endif
