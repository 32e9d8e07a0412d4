/* Quillet.DLL run without Windows: a static 32-bit Linux program that loads
 * the DLL as the Windows loader does (sections mapped with their own
 * protections, base relocations applied, imports bound by name, the entry
 * point called if there is one) and calls its exports by name.
 *
 * The imports are this program's: an OLE-style string allocator that tracks
 * every string, and IsProcessorFeaturePresent answered from CPUID and XGETBV.
 * Every call of an export goes through Probe, which calls it with the stack
 * at one of four alignments and known values in the registers the callee
 * must keep, and then through the allocator's books. The tests are
 * caller_body.c's, and the version resource read from the image.
 *
 * With --bench the exports are called directly instead, their strings made
 * and freed without the books, and timed (bench/export_timing.c).
 *
 *   pe_loader_test QUILLET.DLL                    run the tests
 *   pe_loader_test --bench QUILLET.DLL [SECONDS]  time the exports
 *   pe_loader_test --can-run                      exit 0 (whether this program runs here) */
#include <cpuid.h>
#include <malloc.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>

#include "../../bench/export_timing.h"
#include "../boundary/caller.h"

/* Failures seen on any thread; CHECK's counters belong to the main one. */
static pthread_mutex_t report_lock = PTHREAD_MUTEX_INITIALIZER;
static void Fail(const char *format, ...) {
  va_list args;
  va_start(args, format);
  pthread_mutex_lock(&report_lock);
  ++failures;
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  pthread_mutex_unlock(&report_lock);
  va_end(args);
}

static void Die(const char *format, ...) {
  va_list args;
  va_start(args, format);
  fputs("cannot load the DLL: ", stderr);
  vfprintf(stderr, format, args);
  fputc('\n', stderr);
  va_end(args);
  exit(1);
}

/* ---- Strings, laid out as OLE lays them out: a 4-byte count, the content
 * (at 4 mod 16), two zero bytes; then guard bytes of our own. Each string
 * has a 16-byte record before its count; live strings are on one list. */
enum { kGuard = 16, kGuardByte = 0xFD };
struct Block {
  struct Block *next, *prev;
  int by_dll;   /* the DLL holds it; 0 once its caller does */
  int *holder;  /* the count of the thread whose call made it */
};
static struct Block live = {&live, &live, 0, NULL};
static pthread_mutex_t heap_lock = PTHREAD_MUTEX_INITIALIZER;
static __thread int dll_held; /* strings the DLL made on this thread and holds */

static unsigned char *ContentOf(struct Block *b) { return (unsigned char *)b + sizeof *b + 4; }
static uint32_t CountOf(const unsigned char *s) {
  uint32_t n;
  memcpy(&n, s - 4, 4);
  return n;
}

static int Intact(struct Block *b) {
  const unsigned char *s = ContentOf(b), *end = s + CountOf(s);
  if (end[0] != 0 || end[1] != 0) return 0;
  for (int i = 0; i < kGuard; ++i) {
    if (end[2 + i] != kGuardByte) return 0;
  }
  return 1;
}

static struct Block *Find(ByteString s) { /* under heap_lock */
  for (struct Block *b = live.next; b != &live; b = b->next) {
    if (ContentOf(b) == s) return b;
  }
  return NULL;
}

static ByteString NewString(const char *source, uint32_t length, int by_dll) {
  const size_t size = (sizeof(struct Block) + 4 + length + 2 + kGuard + 15) & ~(size_t)15;
  struct Block *b = aligned_alloc(16, size);
  if (b == NULL) return NULL;
  unsigned char *s = ContentOf(b);
  memcpy(s - 4, &length, 4);
  if (source != NULL) {
    memcpy(s, source, length);
  } else {
    memset(s, 0xCD, length); /* OLE leaves it as it was: not zero */
  }
  s[length] = s[length + 1] = 0;
  memset(s + length + 2, kGuardByte, kGuard);
  b->by_dll = by_dll;
  b->holder = &dll_held;
  pthread_mutex_lock(&heap_lock);
  b->next = live.next;
  b->prev = &live;
  live.next->prev = b;
  live.next = b;
  dll_held += by_dll;
  pthread_mutex_unlock(&heap_lock);
  return s;
}

static void FreeString(ByteString s, int by_dll) {
  if (s == NULL) return;
  const char *who = by_dll ? "the DLL" : "the caller";
  pthread_mutex_lock(&heap_lock);
  struct Block *b = Find(s);
  if (b == NULL) {
    Fail("%s freed %p, which is no live string (freed twice, or not allocated here)", who,
         (void *)s);
  } else if (b->by_dll != by_dll) {
    Fail("%s freed a string %s", who, by_dll ? "its caller owns" : "the DLL still holds");
  } else if (by_dll && b->holder != &dll_held) {
    Fail("the DLL freed a string made on another thread");
  } else {
    if (!Intact(b)) Fail("%s freed a %u-byte string written past its end", who, CountOf(s));
    b->prev->next = b->next;
    b->next->prev = b->prev;
    dll_held -= by_dll;
    memset(b, 0xDD, sizeof *b + 4 + CountOf(s));
    free(b);
  }
  pthread_mutex_unlock(&heap_lock);
}

/* Strings of the --bench mode: the same layout, no books, no guard; from
 * malloc, as the .so's allocator makes them (glibc's blocks are 16-aligned
 * on i686 too: the content at 4 mod 16). */
static int keep_books = 1;
static ByteString PlainString(const char *source, uint32_t length) {
  unsigned char *block = malloc(4 + (size_t)length + 2);
  if (block == NULL) return NULL;
  unsigned char *s = block + 4;
  memcpy(s - 4, &length, 4);
  if (source != NULL) memcpy(s, source, length);
  s[length] = s[length + 1] = 0;
  return s;
}
static void PlainFree(ByteString s) {
  if (s != NULL) free(s - 4);
}

/* ---- The DLL's imports. */
#define STDCALL __attribute__((stdcall))
static ByteString STDCALL DllAlloc(const char *source, uint32_t length) {
  return keep_books ? NewString(source, length, 1) : PlainString(source, length);
}
static void STDCALL DllFree(ByteString s) {
  if (keep_books) FreeString(s, 1); else PlainFree(s);
}
static void *CrtMemcpy(void *to, const void *from, size_t n) { return memcpy(to, from, n); }
static void *CrtMemset(void *to, int c, size_t n) { return memset(to, c, n); }

static uint32_t Xcr0(void) {
  uint32_t low, high;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return low;
}

/* What Windows answers: instruction sets from CPUID, those with their own
 * register state only where the system saves it (XCR0). Windows reads them
 * once and answers from memory; so does this, from what ReadFeatures (at
 * load) found: CPUID traps to the hypervisor in a virtual machine, and a
 * call that asked it would cost the DLL microseconds that Windows does not. */
static unsigned leaf1_ecx, leaf1_edx, leaf7;
static int ymm, zmm;
static void ReadFeatures(void) {
  unsigned a, b, c, d;
  __cpuid(1, a, b, c, d);
  leaf1_ecx = c;
  leaf1_edx = d;
  if (__get_cpuid_max(0, NULL) >= 7) {
    __cpuid_count(7, 0, a, b, c, d);
    leaf7 = b;
  }
  const uint32_t xcr0 = (leaf1_ecx >> 27 & 1) ? Xcr0() : 0;
  ymm = (xcr0 & 6) == 6;
  zmm = (xcr0 & 0xE6) == 0xE6;
}
static int STDCALL FeaturePresent(uint32_t feature) {
  switch (feature) {
    case 6: return leaf1_edx >> 25 & 1;           /* PF_XMMI_INSTRUCTIONS_AVAILABLE */
    case 10: return leaf1_edx >> 26 & 1;          /* PF_XMMI64_INSTRUCTIONS_AVAILABLE */
    case 13: return leaf1_ecx & 1;                /* PF_SSE3_INSTRUCTIONS_AVAILABLE */
    case 17: return leaf1_ecx >> 27 & 1;          /* PF_XSAVE_ENABLED */
    case 36: return leaf1_ecx >> 9 & 1;           /* PF_SSSE3_INSTRUCTIONS_AVAILABLE */
    case 37: return leaf1_ecx >> 19 & 1;          /* PF_SSE4_1_INSTRUCTIONS_AVAILABLE */
    case 38: return leaf1_ecx >> 20 & 1;          /* PF_SSE4_2_INSTRUCTIONS_AVAILABLE */
    case 39: return (leaf1_ecx >> 28 & 1) && ymm; /* PF_AVX_INSTRUCTIONS_AVAILABLE */
    case 40: return (leaf7 >> 5 & 1) && ymm;      /* PF_AVX2_INSTRUCTIONS_AVAILABLE */
    case 41: return (leaf7 >> 16 & 1) && zmm;     /* PF_AVX512F_INSTRUCTIONS_AVAILABLE */
    default:
      Fail("IsProcessorFeaturePresent(%u): a feature number this loader does not know", feature);
      return 0;
  }
}

static const struct {
  const char *library, *name;
  void (*function)(void); /* any function's address; cast back never */
} kImports[] = {
    {"kernel32.dll", "IsProcessorFeaturePresent", (void (*)(void))FeaturePresent},
    {"msvcrt.dll", "memcpy", (void (*)(void))CrtMemcpy},
    {"msvcrt.dll", "memset", (void (*)(void))CrtMemset},
    {"oleaut32.dll", "SysAllocStringByteLen", (void (*)(void))DllAlloc},
    {"oleaut32.dll", "SysFreeString", (void (*)(void))DllFree},
};

/* ---- Probe: calls frame->fn with its arguments pushed, the stack pointer
 * at (16-aligned) - shift before the pushes, known values in ebx, esi, edi
 * and ebp, and the x87 and MXCSR control words of the frame; records what the
 * callee left. The frame is found again through thread-local storage, as no
 * register can be trusted after the call. */
struct Frame {
  void *fn;
  uint32_t count, args[3], shift;
  uint32_t saved_esp, esp_before, esp_after, result, eflags;
  uint32_t ebx, esi, edi, ebp, x87_cw, mxcsr;
  uint32_t x87_cw_in, mxcsr_in, x87_cw_own, mxcsr_own;
};
__thread struct Frame *probe_frame;
void Probe(struct Frame *frame);
__asm__(
    ".text\n"
    "Probe:\n\t"
    "pushl %ebp\n\tpushl %ebx\n\tpushl %esi\n\tpushl %edi\n\t"
    "movl 20(%esp), %eax\n\t"
    "movl %eax, %gs:probe_frame@ntpoff\n\t"
    "movl %esp, 24(%eax)\n\t"
    "fnstcw 76(%eax)\n\tstmxcsr 80(%eax)\n\t"
    "fldcw 68(%eax)\n\tldmxcsr 72(%eax)\n\t"
    "movl %esp, %ecx\n\tandl $-16, %ecx\n\tsubl 20(%eax), %ecx\n\tmovl %ecx, %esp\n\t"
    "movl 4(%eax), %ecx\n"
    "1:\n\t"
    "testl %ecx, %ecx\n\tjz 2f\n\t"
    "pushl 4(%eax,%ecx,4)\n\t"
    "decl %ecx\n\tjmp 1b\n"
    "2:\n\t"
    "movl %esp, 28(%eax)\n\t"
    "movl (%eax), %edx\n\t"
    "movl $0x1111BBBB, %ebx\n\tmovl $0x2222C5C5, %esi\n\t"
    "movl $0x3333D1D1, %edi\n\tmovl $0x4444B9B9, %ebp\n\t"
    "call *%edx\n\t"
    "pushfl\n\tpushl %eax\n\t"
    "movl %gs:probe_frame@ntpoff, %eax\n\t"
    "popl 36(%eax)\n\tpopl 40(%eax)\n\t"
    "movl %esp, 32(%eax)\n\t"
    "movl %ebx, 44(%eax)\n\tmovl %esi, 48(%eax)\n\tmovl %edi, 52(%eax)\n\tmovl %ebp, 56(%eax)\n\t"
    "fnstcw 60(%eax)\n\tstmxcsr 64(%eax)\n\t"
    "fldcw 76(%eax)\n\tldmxcsr 80(%eax)\n\t"
    "cld\n\t"
    "movl 24(%eax), %esp\n\t"
    "popl %edi\n\tpopl %esi\n\tpopl %ebx\n\tpopl %ebp\n\t"
    "ret\n");

static const char *const kPasswordName = "DoubleHashPassword";
static void *exports[kExports + 1]; /* the real ones; f == kExports: the proof */
static __thread unsigned calls;

static uint32_t Checksum(const ByteString *handle) {
  if (handle == NULL || *handle == NULL) return 0;
  uint32_t h = 2166136261u, n = CountOf(*handle);
  for (uint32_t i = 0; i < n; ++i) h = (h ^ (*handle)[i]) * 16777619u;
  return h ^ n;
}

/* Export f called through Probe, its frame and its strings checked. */
static ByteString Audited(int f, const ByteString *data, const int32_t *first,
                          const int32_t *second) {
  const char *name = f < kExports ? kExportNames[f] : kPasswordName;
  const ByteString handle = data ? *data : NULL;
  const uint32_t sum = Checksum(data);
  const int32_t tokens[2] = {first ? *first : 0, second ? *second : 0};
  struct Frame frame = {.fn = exports[f], .count = f < kExports ? 1 : 3,
                        .args = {(uint32_t)data, (uint32_t)first, (uint32_t)second},
                        .shift = 4 * (calls++ % 4),
                        /* not the defaults of Linux (0x37F) or Windows (0x27F, 0x1F80) */
                        .x87_cw_in = 0x7F, .mxcsr_in = 0x7F80};
  Probe(&frame);
  const ByteString result = (ByteString)frame.result;
  const uint32_t removed = frame.esp_after - frame.esp_before;
  if (removed != 4 * frame.count)
    Fail("%s at shift %u: %d bytes removed from the stack, not %u", name, frame.shift,
         (int)removed, 4 * frame.count);
  if (frame.ebx != 0x1111BBBB || frame.esi != 0x2222C5C5 || frame.edi != 0x3333D1D1 ||
      frame.ebp != 0x4444B9B9)
    Fail("%s: callee-saved registers changed: ebx %08x esi %08x edi %08x ebp %08x", name,
         frame.ebx, frame.esi, frame.edi, frame.ebp);
  if (frame.eflags & 0x400) Fail("%s: returned with the direction flag set", name);
  if ((frame.x87_cw & 0xFFFF) != frame.x87_cw_in || frame.mxcsr != frame.mxcsr_in)
    Fail("%s: control words changed: x87 %04x, MXCSR %08x", name, frame.x87_cw & 0xFFFF,
         frame.mxcsr);
  if ((data && *data != handle) || Checksum(data) != sum ||
      (first && *first != tokens[0]) || (second && *second != tokens[1]))
    Fail("%s: the caller's arguments changed", name);
  pthread_mutex_lock(&heap_lock);
  struct Block *b = result ? Find(result) : NULL;
  if (b == NULL || !b->by_dll || b->holder != &dll_held) {
    Fail("%s: the result is not a string made by this call", name);
  } else {
    if (dll_held != 1) Fail("%s: %d more of its strings live after the call", name, dll_held - 1);
    if (!Intact(b)) Fail("%s: written past the end of its %u-byte result", name, CountOf(result));
    b->by_dll = 0; /* the caller's now */
  }
  dll_held = 0;
  pthread_mutex_unlock(&heap_lock);
  return result;
}

#define AUDITED_DIGEST(f) \
  static ByteString STDCALL Digest##f(const ByteString *data) { return Audited(f, data, NULL, NULL); }
AUDITED_DIGEST(0)
AUDITED_DIGEST(1)
AUDITED_DIGEST(2)
AUDITED_DIGEST(3)
static ByteString STDCALL Password(const ByteString *p, const int32_t *a, const int32_t *b) {
  return Audited(kExports, p, a, b);
}

/* ---- The image. */
static unsigned char *image;
static uint32_t image_size, directory[16][2];

static uint32_t U16(const void *p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}
static uint32_t U32(const void *p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
/* A pointer into the image at rva, with room for `size` bytes. */
static unsigned char *At(uint32_t rva, uint32_t size) {
  if (rva > image_size || size > image_size - rva) Die("RVA %#x (+%u) outside the image", rva, size);
  return image + rva;
}

static void (*ImportFor(const char *library, const char *name))(void) {
  for (size_t i = 0; i < sizeof kImports / sizeof *kImports; ++i) {
    if (strcasecmp(kImports[i].library, library) == 0 && strcmp(kImports[i].name, name) == 0)
      return kImports[i].function;
  }
  return NULL;
}

static void Load(const char *path) {
  ReadFeatures();
  FILE *file = fopen(path, "rb");
  if (file == NULL) Die("cannot open %s", path);
  static unsigned char raw[4 << 20];
  const size_t n = fread(raw, 1, sizeof raw, file);
  fclose(file);
  if (n < 0x40 || memcmp(raw, "MZ", 2) != 0) Die("no DOS header");
  const uint32_t pe = U32(raw + 0x3C);
  if (pe > n - 248 || memcmp(raw + pe, "PE\0\0", 4) != 0) Die("no PE signature");
  const unsigned char *coff = raw + pe + 4, *opt = coff + 20;
  if (U16(coff) != 0x14C || !(U16(coff + 18) & 0x2000) || U16(opt) != 0x10B)
    Die("not a 32-bit x86 DLL");
  const uint32_t sections = U16(coff + 2), entry = U32(opt + 16), base = U32(opt + 28);
  const uint32_t alignment = U32(opt + 32), headers = U32(opt + 60);
  const unsigned char *table = opt + U16(coff + 16);
  image_size = U32(opt + 56);
  if (alignment % 4096 != 0 || headers > n || table + 40 * sections > raw + n)
    Die("sections not page-aligned or headers cut short");
  for (uint32_t d = 0; d < 16 && d < U32(opt + 92); ++d) {
    directory[d][0] = U32(opt + 96 + 8 * d);
    directory[d][1] = U32(opt + 100 + 8 * d);
  }
  if (directory[9][0] != 0) Die("the DLL has a TLS directory, which this loader does not run");

  /* Anywhere but the preferred base, so that the relocations must be right. */
  image = mmap((void *)(uintptr_t)(base + 0x01000000), image_size, PROT_READ | PROT_WRITE,
               MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (image == MAP_FAILED || (uint32_t)image == base) Die("cannot map %u bytes", image_size);
  memcpy(image, raw, headers);
  for (uint32_t i = 0; i < sections; ++i) {
    const unsigned char *s = table + 40 * i;
    const uint32_t size = U32(s + 8), rva = U32(s + 12), raw_size = U32(s + 16), from = U32(s + 20);
    const uint32_t copied = raw_size < size || size == 0 ? raw_size : size;
    if (from > n || copied > n - from) Die("section %.8s outside the file", (const char *)s);
    memcpy(At(rva, copied), raw + from, copied);
  }

  const int32_t delta = (int32_t)((uint32_t)image - base);
  uint32_t relocated = 0;
  for (uint32_t at = directory[5][0], end = at + directory[5][1]; at < end;) {
    const uint32_t page = U32(At(at, 8)), size = U32(At(at + 4, 4));
    if (size < 8) Die("a relocation block of %u bytes", size);
    for (uint32_t k = 8; k < size; k += 2) {
      const uint32_t e = U16(At(at + k, 2)), type = e >> 12;
      if (type == 3) { /* IMAGE_REL_BASED_HIGHLOW */
        unsigned char *p = At(page + (e & 0xFFF), 4);
        const uint32_t v = U32(p) + (uint32_t)delta;
        memcpy(p, &v, 4);
        ++relocated;
      } else if (type != 0) {
        Die("relocation type %u at %#x", type, page + (e & 0xFFF));
      }
    }
    at += size;
  }
  if (relocated == 0) Die("no base relocations: the DLL could only load at %#x", base);

  for (uint32_t at = directory[1][0]; at != 0 && U32(At(at + 12, 4)) != 0; at += 20) {
    const char *library = (const char *)At(U32(At(at + 12, 4)), 1);
    const uint32_t lookup = U32(At(at, 4)) ? U32(At(at, 4)) : U32(At(at + 16, 4));
    const uint32_t bound = U32(At(at + 16, 4));
    for (uint32_t k = 0;; k += 4) {
      const uint32_t thunk = U32(At(lookup + k, 4));
      if (thunk == 0) break;
      if (thunk & 0x80000000u) Die("import by ordinal %u from %s", thunk & 0xFFFF, library);
      const char *name = (const char *)At(thunk + 2, 1);
      void (*function)(void) = ImportFor(library, name);
      if (function == NULL) Die("unknown import %s!%s", library, name);
      memcpy(At(bound + k, 4), &function, 4);
    }
  }

  mprotect(image, headers, PROT_READ);
  for (uint32_t i = 0; i < sections; ++i) {
    const unsigned char *s = table + 40 * i;
    const uint32_t size = U32(s + 8) > U32(s + 16) ? U32(s + 8) : U32(s + 16);
    const uint32_t flags = U32(s + 36);
    const int protection = (flags & 0x20000000u ? PROT_EXEC : 0) |
                           (flags & 0x40000000u ? PROT_READ : 0) |
                           (flags & 0x80000000u ? PROT_WRITE : 0);
    if (mprotect(At(U32(s + 12), size), (size + alignment - 1) / alignment * alignment,
                 protection) != 0)
      Die("cannot protect section %.8s", (const char *)s);
  }

  if (entry != 0) { /* DllMain(instance, DLL_PROCESS_ATTACH, NULL), as Windows calls it */
    struct Frame frame = {.fn = image + entry, .count = 3, .args = {(uint32_t)image, 1, 0},
                          .x87_cw_in = 0x27F, .mxcsr_in = 0x1F80};
    Probe(&frame);
    if (frame.result == 0 || frame.esp_after - frame.esp_before != 12)
      Die("the entry point refused DLL_PROCESS_ATTACH or broke the stack");
  }
}

/* The export directory: exactly the five names, undecorated and sorted (the
 * Windows loader finds them by binary search, as here), none forwarded. */
static const char *const kAllNames[kExports + 1] = {"StandardSHA", "BrokenSHA", "LockdownSHA",
                                                   "MD5", "DoubleHashPassword"};
static void *Export(const char *name) {
  const unsigned char *d = At(directory[0][0], 40);
  const uint32_t names = U32(d + 32), ordinals = U32(d + 36), functions = U32(d + 28);
  int low = 0, high = (int)U32(d + 24) - 1;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int order = strcmp(name, (const char *)At(U32(At(names + 4 * (uint32_t)mid, 4)), 1));
    if (order == 0) {
      const uint32_t rva = U32(At(functions + 4 * U16(At(ordinals + 2 * (uint32_t)mid, 2)), 4));
      CHECK(rva - directory[0][0] >= directory[0][1], "%s is forwarded", name);
      return At(rva, 1);
    }
    if (order < 0) high = mid - 1; else low = mid + 1;
  }
  return NULL;
}

static void TestExports(void) {
  const unsigned char *d = At(directory[0][0], 40);
  const uint32_t count = U32(d + 24), names = U32(d + 32);
  CHECK(count == kExports + 1 && U32(d + 20) == kExports + 1, "%u names, %u functions exported",
        count, U32(d + 20));
  for (uint32_t i = 0; i < count; ++i) {
    const char *name = (const char *)At(U32(At(names + 4 * i, 4)), 1);
    int known = 0;
    for (int f = 0; f <= kExports; ++f) known |= strcmp(name, kAllNames[f]) == 0;
    CHECK(known, "exported name %s is not one of the five", name);
    CHECK(i == 0 || strcmp((const char *)At(U32(At(names + 4 * i - 4, 4)), 1), name) < 0,
          "export names out of order at %s", name);
  }
  for (int f = 0; f <= kExports; ++f) {
    exports[f] = Export(kAllNames[f]);
    CHECK(exports[f] != NULL, "export %s not found", kAllNames[f]);
  }
}

/* ---- The version resource: .rsrc's tree (type 16, its first name, its first
 * language), then the VS_VERSIONINFO blocks: length, value length, type, a
 * UTF-16 key, the value and the children, each aligned to 4 bytes. */
static uint32_t ResourceChild(uint32_t dir, uint32_t id) {
  const unsigned char *d = At(directory[2][0] + dir, 16);
  const uint32_t entries = U16(d + 12) + U16(d + 14);
  for (uint32_t i = 0; i < entries; ++i) {
    const unsigned char *e = At(directory[2][0] + dir + 16 + 8 * i, 8);
    if (id == 0 || U32(e) == id) return U32(e + 4);
  }
  return 0;
}

static const unsigned char *Align4(const unsigned char *p) {
  return p + ((4 - (uintptr_t)p % 4) % 4);
}
static int KeyIs(const unsigned char *key, const char *text) {
  for (;; key += 2, ++text) {
    if (U16(key) != (unsigned char)*text) return 0;
    if (*text == '\0') return 1;
  }
}
static const unsigned char *ValueOf(const unsigned char *block) {
  const unsigned char *p = block + 6;
  while (U16(p) != 0) p += 2;
  return Align4(p + 2);
}
static const unsigned char *Child(const unsigned char *block, const char *key) {
  if (block == NULL) return NULL;
  const unsigned char *p = ValueOf(block), *end = block + U16(block);
  p = Align4(p + U16(block + 2) * (U16(block + 4) == 1 ? 2 : 1));
  for (; p + 6 < end && U16(p) != 0; p = Align4(p + U16(p))) {
    if (KeyIs(p + 6, key)) return p;
  }
  return NULL;
}

static void TestVersionResource(void) {
  const uint32_t type = ResourceChild(0, 16), name = ResourceChild(type & 0x7FFFFFFF, 0);
  const uint32_t language = ResourceChild(name & 0x7FFFFFFF, 0);
  CHECK((type & name & 0x80000000u) && language != 0 && !(language & 0x80000000u),
        "a version resource in .rsrc");
  if (!(type & name & 0x80000000u) || language == 0) return;
  const unsigned char *entry = At(directory[2][0] + language, 16);
  const unsigned char *root = At(U32(entry), U32(entry + 4));
  CHECK(KeyIs(root + 6, "VS_VERSION_INFO") && U16(root) <= U32(entry + 4), "VS_VERSION_INFO");
  const unsigned char *fixed = ValueOf(root);
  const uint32_t ms = QUILLET_VERSION_MAJOR << 16 | QUILLET_VERSION_MINOR;
  const uint32_t ls = QUILLET_VERSION_PATCH << 16 | QUILLET_VERSION_TWEAK;
  CHECK(U32(fixed) == 0xFEEF04BDu && U32(fixed + 8) == ms && U32(fixed + 12) == ls &&
            U32(fixed + 16) == ms && U32(fixed + 20) == ls,
        "fixed file and product versions %s", QUILLET_VERSION_STRING);
  static const char *const entries[][2] = {{"FileVersion", QUILLET_VERSION_STRING},
                                           {"ProductVersion", QUILLET_VERSION_STRING},
                                           {"InternalName", "Quillet"},
                                           {"OriginalFilename", "Quillet.DLL"}};
  const unsigned char *strings = Child(Child(root, "StringFileInfo"), "040904B0");
  for (size_t i = 0; i < sizeof entries / sizeof *entries; ++i) {
    const unsigned char *block = Child(strings, entries[i][0]);
    CHECK(block != NULL && KeyIs(ValueOf(block), entries[i][1]), "%s = %s", entries[i][0],
          entries[i][1]);
  }
}

/* ---- The caller's side. */
static ByteString Alloc(const char *bytes, unsigned int length) { return NewString(bytes, length, 0); }
static void Release(ByteString s) { FreeString(s, 0); }
static unsigned int Length(ByteString s) { return s ? CountOf(s) : 0; }

/* What the DLL chooses its paths from. */
static void PrintFeatures(void) {
  unsigned a, b, c, d;
  __cpuid_count(7, 0, a, b, c, d);
  printf("the DLL is told: SSSE3 %d, SSE4.1 %d, AVX %d; CPUID: AVX2 %u, SHA %u, AVX-512VL %u\n",
         FeaturePresent(36), FeaturePresent(37), FeaturePresent(39), b >> 5 & 1, b >> 29 & 1,
         b >> 31);
}

/* The exports called directly, timed. */
static int Bench(const char *path, double seconds) {
  Load(path);
  PrintFeatures();
  TestExports();
  if (failures != 0) return Finish();
  keep_books = 0;
  /* The 1 MiB exports' private copies from memory freed before, as 64-bit
   * glibc's malloc (and so the .so's allocator) serves them after the first:
   * 32-bit glibc's would map fresh pages for each one (it maps anything
   * above 512 KiB), and the figures would be the kernel's. */
  mallopt(M_MMAP_MAX, 0);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  struct Caller table = {.alloc = PlainString, .release = PlainFree, .length = Length};
  for (int f = 0; f < kExports; ++f) memcpy(&table.digest[f], &exports[f], sizeof exports[f]);
  memcpy(&table.double_hash, &exports[kExports], sizeof exports[kExports]);
  return TimeExports(&table, seconds);
}

int main(int argc, char **argv) {
  if (argc == 2 && strcmp(argv[1], "--can-run") == 0) return 0;
  if ((argc == 3 || argc == 4) && strcmp(argv[1], "--bench") == 0) {
    const double seconds = argc == 4 ? atof(argv[3]) : 0.1;
    if (seconds > 0) return Bench(argv[2], seconds);
  }
  if (argc != 2 || argv[1][0] == '-') {
    fprintf(stderr, "usage: %s QUILLET.DLL | --bench QUILLET.DLL [SECONDS] | --can-run\n",
            argv[0]);
    return 2;
  }
  Load(argv[1]);
  PrintFeatures();
  TestExports();
  if (failures != 0) return Finish();
  caller.digest[0] = Digest0;
  caller.digest[1] = Digest1;
  caller.digest[2] = Digest2;
  caller.digest[3] = Digest3;
  caller.double_hash = Password;
  caller.alloc = Alloc;
  caller.release = Release;
  caller.length = Length;
  caller.run_threads = RunPosixThreads;
  RunCommonTests();
  TestVersionResource();
  CHECK(live.next == &live, "strings left live at the end");
  return Finish();
}
