/* Injects read errors and slow reads, for the tool's tests (LD_PRELOAD).
 * Reads of the file named by QUILLET_FAIL_PATH:
 *   QUILLET_FAIL_AT   the Nth one fails with EIO (default 2; 0: none does)
 *   QUILLET_SLOW_MS   each one first sleeps this many milliseconds
 *   QUILLET_READ_MAX  each one reads at most this many bytes
 *   QUILLET_GROW_BY   the first one first appends this many bytes to the
 *                     file (a file that grew after it was looked at)
 * preadv2 (the tool's reads of what is in memory) reads that file as read
 * does. Every other file reads as usual. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
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

static int OpenWith(const char *name, int dirfd, const char *path, int flags, va_list args) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) mode = (mode_t)va_arg(args, int);
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

ssize_t read(int fd, void *buffer, size_t size) {
  ssize_t (*real)(int, void *, size_t) = (ssize_t (*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
  if (fd == failing_fd) {
    const long slow_ms = Setting("QUILLET_SLOW_MS", 0);
    const long most = Setting("QUILLET_READ_MAX", 0);
    if (slow_ms > 0) {
      const struct timespec pause = {slow_ms / 1000, (slow_ms % 1000) * 1000000L};
      nanosleep(&pause, NULL);
    }
    if (most > 0 && size > (size_t)most) size = (size_t)most;
    if (reads_seen == 0 && Setting("QUILLET_GROW_BY", 0) > 0) Grow(Setting("QUILLET_GROW_BY", 0));
    if (++reads_seen == Setting("QUILLET_FAIL_AT", 2)) {
      errno = EIO;
      return -1;
    }
  }
  return real(fd, buffer, size);
}

/* One piece at the file's offset, the tool's only use. */
static ssize_t ReadPieces(int fd, const struct iovec *pieces, int count, off_t offset, int flags,
                          const char *name) {
  if (fd == failing_fd && count == 1 && offset == -1) {
    return read(fd, pieces[0].iov_base, pieces[0].iov_len);
  }
  ssize_t (*real)(int, const struct iovec *, int, off_t, int) =
      (ssize_t (*)(int, const struct iovec *, int, off_t, int))dlsym(RTLD_NEXT, name);
  return real(fd, pieces, count, offset, flags);
}

ssize_t preadv2(int fd, const struct iovec *pieces, int count, off_t offset, int flags) {
  return ReadPieces(fd, pieces, count, offset, flags, "preadv2");
}

ssize_t preadv64v2(int fd, const struct iovec *pieces, int count, off_t offset, int flags) {
  return ReadPieces(fd, pieces, count, offset, flags, "preadv64v2");
}
