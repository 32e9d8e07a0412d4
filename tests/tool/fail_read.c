/* Injects read errors and slow reads, for the tool's tests (LD_PRELOAD).
 * Reads of the file named by QUILLET_FAIL_PATH:
 *   QUILLET_FAIL_AT   the Nth one fails with EIO (default 2; 0: none does)
 *   QUILLET_SLOW_MS   each one first sleeps this many milliseconds
 *   QUILLET_READ_MAX  each one reads at most this many bytes
 *   QUILLET_GROW_BY   the process's first one first appends this many
 *                     bytes to the file (a file that grew after it was
 *                     looked at)
 * Every other file reads as usual. And, for any file:
 *   QUILLET_FIFO=NAME     the first open of NAME first replaces it with a
 *                         FIFO whose writer this process holds; the first
 *                         open that may wait (no O_NONBLOCK) writes
 *                         QUILLET_FIFO_DATA into it and closes the writer
 *   QUILLET_EMFILE_PATH=NAME  the first open of NAME fails with EMFILE, as
 *                         when the process is out of descriptors
 *   QUILLET_STDIN_READS=FILE  at exit, the number of reads of standard
 *                         input is written to FILE */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

static int failing_fd = -1;
static int reads_seen = 0;
static char failing_path[4096];

static long Setting(const char *name, long otherwise) {
  const char *value = getenv(name);
  return value != NULL ? atol(value) : otherwise;
}

static void Remember(const char *path, int fd) {
  const char *target = getenv("QUILLET_FAIL_PATH");
  if (fd >= 0 && fd == failing_fd) failing_fd = -1; /* its number taken by another file */
  if (fd >= 0 && target != NULL && strcmp(path, target) == 0) {
    failing_fd = fd;
    reads_seen = 0;
    strncpy(failing_path, path, sizeof failing_path - 1);
  }
}

/* Appends `count` bytes to the file being read, through a descriptor of its
 * own. */
static void Grow(long count) {
  int (*real_open)(const char *, int, ...) =
      (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open");
  const int fd = real_open(failing_path, O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;
  char chunk[4096];
  memset(chunk, 'g', sizeof chunk);
  while (count > 0) {
    const size_t piece = count < (long)sizeof chunk ? (size_t)count : sizeof chunk;
    const ssize_t written = write(fd, chunk, piece);
    if (written <= 0) break;
    count -= written;
  }
  close(fd);
}

/* The FIFO that replaced QUILLET_FIFO, and its writer (-2: not yet made). */
static int fifo_writer = -2;

static void SwapForFifo(int dirfd, const char *path, int flags) {
  const char *target = getenv("QUILLET_FIFO");
  if (target == NULL || strcmp(path, target) != 0) return;
  if (fifo_writer == -2) {
    unlinkat(dirfd, path, 0);
    mkfifoat(dirfd, path, 0600);
    int (*real)(int, const char *, int, ...) =
        (int (*)(int, const char *, int, ...))dlsym(RTLD_NEXT, "openat");
    fifo_writer = real(dirfd, path, O_RDWR | O_CLOEXEC); /* never waits on Linux */
  }
  if (fifo_writer >= 0 && !(flags & O_NONBLOCK)) {
    const char *data = getenv("QUILLET_FIFO_DATA");
    if (data != NULL && write(fifo_writer, data, strlen(data)) < 0) abort();
    /* the reader opens before the writer goes, so it sees the data, then the end */
  }
}

static void FifoOpened(int flags) {
  if (fifo_writer >= 0 && !(flags & O_NONBLOCK)) {
    close(fifo_writer);
    fifo_writer = -1;
  }
}

static int OpenWith(const char *name, int dirfd, const char *path, int flags, va_list args) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) mode = (mode_t)va_arg(args, int);
  static int refused = 0;
  const char *scarce = getenv("QUILLET_EMFILE_PATH");
  if (!refused && scarce != NULL && strcmp(path, scarce) == 0) {
    refused = 1;
    errno = EMFILE;
    return -1;
  }
  SwapForFifo(dirfd == -1 ? AT_FDCWD : dirfd, path, flags);
  int fd;
  if (dirfd == -1) {
    int (*real)(const char *, int, ...) = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, name);
    fd = real(path, flags, mode);
  } else {
    int (*real)(int, const char *, int, ...) =
        (int (*)(int, const char *, int, ...))dlsym(RTLD_NEXT, name);
    fd = real(dirfd, path, flags, mode);
  }
  Remember(path, fd);
  const char *fifo = getenv("QUILLET_FIFO");
  if (fd >= 0 && fifo != NULL && strcmp(path, fifo) == 0) FifoOpened(flags);
  return fd;
}

int open(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = OpenWith("open", -1, path, flags, args);
  va_end(args);
  return fd;
}

int open64(const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = OpenWith("open64", -1, path, flags, args);
  va_end(args);
  return fd;
}

int openat(int dirfd, const char *path, int flags, ...) {
  va_list args;
  va_start(args, flags);
  const int fd = OpenWith("openat", dirfd == -1 ? AT_FDCWD : dirfd, path, flags, args);
  va_end(args);
  return fd;
}

static long stdin_reads = 0;

__attribute__((destructor)) static void CountStdinReads(void) {
  const char *path = getenv("QUILLET_STDIN_READS");
  if (path == NULL) return;
  int (*real_open)(const char *, int, ...) =
      (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, "open");
  const int fd = real_open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  char text[32];
  const int length = snprintf(text, sizeof text, "%ld\n", stdin_reads);
  if (length > 0 && write(fd, text, (size_t)length) < 0) abort();
  close(fd);
}

ssize_t read(int fd, void *buffer, size_t size) {
  ssize_t (*real)(int, void *, size_t) = (ssize_t (*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
  if (fd == 0) ++stdin_reads;
  if (fd == failing_fd) {
    const long slow_ms = Setting("QUILLET_SLOW_MS", 0);
    const long most = Setting("QUILLET_READ_MAX", 0);
    if (slow_ms > 0) {
      const struct timespec pause = {slow_ms / 1000, (slow_ms % 1000) * 1000000L};
      nanosleep(&pause, NULL);
    }
    if (most > 0 && size > (size_t)most) size = (size_t)most;
    static int grown = 0;
    if (!grown && Setting("QUILLET_GROW_BY", 0) > 0) {
      grown = 1;
      Grow(Setting("QUILLET_GROW_BY", 0));
    }
    if (++reads_seen == Setting("QUILLET_FAIL_AT", 2)) {
      errno = EIO;
      return -1;
    }
  }
  return real(fd, buffer, size);
}
