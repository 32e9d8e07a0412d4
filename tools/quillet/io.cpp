#include "io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#if defined(__linux__)
#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "progress.hpp"

#if defined(_WIN32)
#include <io.h>
#define QUILLET_READ _read
#define QUILLET_CLOSE _close
#else
#include <unistd.h>
#define QUILLET_READ ::read
#define QUILLET_CLOSE ::close
#endif

namespace quillet::tool {

namespace {
bool g_stdin_closed = false;
bool g_stdout_closed = false;
bool g_stdin_read = false;
}  // namespace

void ReserveStandardDescriptors() {
#if !defined(_WIN32)
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    if (fd == 0) g_stdin_closed = true;
    if (fd == 1) g_stdout_closed = true;
    // The lowest free number: this one, as those below it are open.
    const int reserved = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
    if (reserved >= 0 && reserved != fd) {
      dup2(reserved, fd);
      close(reserved);
    }
  }
#endif
}

bool ClosedStandardInputWasRead() { return g_stdin_closed && g_stdin_read; }

bool IsTerminal(int fd) {
#if defined(_WIN32)
  return _isatty(fd) != 0;
#else
  return isatty(fd) != 0;
#endif
}

NameLookup::~NameLookup() {
  if (fd_ >= 0) QUILLET_CLOSE(fd_);
}

bool NameLookup::Forgo() {
  forgone_ = true;
  if (fd_ < 0) return false;
  QUILLET_CLOSE(fd_);
  fd_ = -1;
  return true;
}

NameLookup::Place NameLookup::Find(const std::string& name) {
#if defined(_WIN32)
  return {0, name.c_str()};
#else
  // A name too long for the system is looked up whole, so that it fails as
  // it would for any other program (its directory would open on its own).
  const auto slash = name.rfind('/');
  if (forgone_ || name.size() >= PATH_MAX || slash == std::string::npos ||
      slash + 1 == name.size()) {
    return {AT_FDCWD, name.c_str()};
  }
  const std::string_view directory(name.data(), slash + 1);  // "/" for "/x"
  if (!tried_ || directory != path_) {
    if (fd_ >= 0) QUILLET_CLOSE(fd_);
    path_ = directory;
    tried_ = true;
#if defined(O_PATH)
    fd_ = ::open(path_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
  }
  if (fd_ < 0) return {AT_FDCWD, name.c_str()};
  return {fd_, name.c_str() + slash + 1};
#endif
}

#if !defined(_WIN32)
namespace {
// Where `name` is looked up from: through `lookup` if given, else as given.
NameLookup::Place PlaceOf(const std::string& name, NameLookup* lookup) {
  return lookup != nullptr ? lookup->Find(name) : NameLookup::Place{AT_FDCWD, name.c_str()};
}
}  // namespace
#endif

InputInfo Inspect(const std::string& name, NameLookup* lookup) {
  InputInfo info;
  if (name == "-") return info;
#if defined(_WIN32)
  static_cast<void>(lookup);
  struct _stat64 st;
  if (_stat64(name.c_str(), &st) != 0) return info;
#else
  const NameLookup::Place place = PlaceOf(name, lookup);
  struct stat st;
  if (fstatat(place.directory, place.name, &st, 0) != 0) return info;
#endif
  if ((st.st_mode & S_IFMT) != S_IFREG) return info;
  info.kind = InputKind::kRegular;
  info.size = static_cast<std::uint64_t>(st.st_size);
  info.device = static_cast<std::uint64_t>(st.st_dev);
  return info;
}

bool IsRotational(std::uint64_t device) {
#if defined(__linux__)
  // The device's directory; a partition's queue is its disk's, one up.
  const std::string base = "/sys/dev/block/" + std::to_string(major(device)) + ":" +
                           std::to_string(minor(device));
  for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
    const int fd = ::open((base + queue).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    char flag = '0';
    const auto got = QUILLET_READ(fd, &flag, 1);
    QUILLET_CLOSE(fd);
    return got == 1 && flag == '1';
  }
#else
  static_cast<void>(device);
#endif
  return false;
}

InputFile::InputFile(const std::string& name, std::string& error, Open how, NameLookup* lookup) {
  if (name == "-") {
#if defined(_WIN32)
    _setmode(0, _O_BINARY);
#endif
    fd_ = 0;
    g_stdin_read = true;
  } else {
#if defined(_WIN32)
    static_cast<void>(lookup);
    fd_ = _open(name.c_str(), _O_RDONLY | _O_BINARY);
#else
    const NameLookup::Place place = PlaceOf(name, lookup);
    // Never blocks: a name that has become a pipe since it was looked at is
    // not waited on here.
    fd_ = ::openat(place.directory, place.name,
                   O_RDONLY | O_CLOEXEC | (how != Open::kAnything ? O_NONBLOCK : 0));
#endif
    if (fd_ < 0) {
      missing_ = errno == ENOENT;
      out_of_descriptors_ = errno == EMFILE || errno == ENFILE;
      error = std::strerror(errno);
      return;
    }
    owned_ = true;
  }
  if (how == Open::kLookedAt) {
    regular_ = true;
  } else if (how == Open::kRegular) {
    ConfirmRegular();
  } else {
    Ask();
  }
}

void InputFile::Ask() {
#if defined(_WIN32)
  struct _stat64 st;
  const bool known = _fstat64(fd_, &st) == 0;
#else
  struct stat st;
  const bool known = fstat(fd_, &st) == 0;
#endif
  regular_ = known && (st.st_mode & S_IFMT) == S_IFREG;
  size_ = regular_ ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool InputFile::ConfirmRegular() {
  Ask();
  if (!regular_ && owned_) {
    QUILLET_CLOSE(fd_);
    fd_ = -1;
    owned_ = false;
  }
  return regular_;
}

InputFile::~InputFile() {
  if (owned_) QUILLET_CLOSE(fd_);
}

void InputFile::Unread(std::size_t count) {
  if (count == 0 || fd_ < 0) return;
#if defined(_WIN32)
  _lseeki64(fd_, -static_cast<__int64>(count), SEEK_CUR);
#else
  lseek(fd_, -static_cast<off_t>(count), SEEK_CUR);
#endif
}

void InputFile::HandTo(HeldDescriptors& held) {
  if (!owned_) return;
  held.Hold(fd_);
  owned_ = false;
  fd_ = -1;
}

void HeldDescriptors::Hold(int fd) {
  if (count_ >= capacity_) CloseAll();
  if (capacity_ == 0) {
    QUILLET_CLOSE(fd);
    return;
  }
  fds_[count_++] = fd;
}

bool HeldDescriptors::CloseAll() {
  if (count_ == 0) return false;
  const auto end = fds_.begin() + static_cast<std::ptrdiff_t>(count_);
  std::sort(fds_.begin(), end);
  for (auto run = fds_.begin(); run != end;) {
    // A run of consecutive numbers, every one of them held here: closing the
    // range closes nothing that belongs to anyone else.
    auto last = run;
    while (last + 1 != end && *(last + 1) == *last + 1) ++last;
#if defined(__linux__) && defined(SYS_close_range)
    if (last != run && syscall(SYS_close_range, static_cast<unsigned>(*run),
                               static_cast<unsigned>(*last), 0u) == 0) {
      run = last + 1;
      continue;
    }
#endif
    for (; run != last + 1; ++run) QUILLET_CLOSE(*run);
  }
  count_ = 0;
  return true;
}

#if defined(__linux__) && defined(SYS_close_range)
namespace {
// How many descriptors the process has open (those it inherited among
// them), from /proc; 3 where that cannot be read.
rlim_t OpenDescriptors() {
  DIR* listing = opendir("/proc/self/fd");
  if (listing == nullptr) return 3;
  rlim_t count = 0;
  while (const dirent* entry = readdir(listing)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(listing);
  return count > 0 ? count - 1 : 0;  // not the listing's own
}
}  // namespace
#endif

std::size_t DescriptorsToHold(std::size_t readers) {
#if defined(__linux__) && defined(SYS_close_range)
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || readers == 0) return 0;
  // Under no limit there is no need to count what is open.
  const rlim_t open = limit.rlim_cur == RLIM_INFINITY ? 0 : OpenDescriptors();
  const rlim_t free = limit.rlim_cur > open ? limit.rlim_cur - open : 0;
  auto room = limit.rlim_cur == RLIM_INFINITY ? HeldDescriptors::kCapacity
              : free > 64                          ? (free - 64) / 4 / readers
                                                   : 0;
  // Threads share one descriptor table, which starts with room for 64, and
  // Linux has grown a shared table only after an RCU grace period
  // (synchronize_rcu in expand_fdtable: milliseconds). Several readers hold
  // what keeps them all within the first 64.
  if (readers > 1) room = std::min<rlim_t>(room, 40 / readers);
  return static_cast<std::size_t>(std::min<rlim_t>(room, HeldDescriptors::kCapacity));
#else
  static_cast<void>(readers);
  return 0;
#endif
}

bool InputFile::is_terminal() const { return fd_ >= 0 && IsTerminal(fd_); }

long InputFile::Read(void* buffer, std::size_t size, std::string& error) {
  for (;;) {
    const auto got = QUILLET_READ(fd_, buffer, static_cast<unsigned>(size));
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR) continue;
    error = std::strerror(errno);
    return -1;
  }
}

long InputFile::ReadCached(void* buffer, std::size_t size, std::string& error, bool& would_wait) {
  would_wait = false;
#if defined(__linux__) && defined(RWF_NOWAIT)
  for (;;) {
    iovec piece{buffer, size};
    const auto got = preadv2(fd_, &piece, 1, -1, RWF_NOWAIT);  // at the file's offset
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) break;
    error = std::strerror(errno);
    return -1;
  }
#else
  static_cast<void>(buffer);
  static_cast<void>(size);
  static_cast<void>(error);
#endif
  would_wait = true;
  return 0;
}

bool LineReader::Next(std::string& line) {
  line.clear();
  for (;;) {
    if (begin_ < end_) {
      const char* start = buffer_.data() + begin_;
      const auto* newline = static_cast<const char*>(std::memchr(start, '\n', end_ - begin_));
      if (newline != nullptr) {
        line.append(start, newline);
        begin_ += static_cast<std::size_t>(newline - start) + 1;
        return true;
      }
      line.append(start, end_ - begin_);
      begin_ = end_;
    }
    if (at_end_ || failed_) return !failed_ && !line.empty();
    std::string error;
    const long got = file_.Read(buffer_.data(), buffer_.size(), error);
    if (got < 0) {
      failed_ = true;
      return false;
    }
    if (got == 0) at_end_ = true;
    begin_ = 0;
    end_ = static_cast<std::size_t>(got);
  }
}

void Output::Write(std::string_view text) {
  if (text.empty()) return;
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && !failed_) {
    failed_ = true;
    error_ = errno;
  }
}

void Output::Flush() {
  if (std::fflush(stdout) != 0 && !failed_) {
    failed_ = true;
    error_ = errno;
  }
}

void Output::Warn(std::string_view message) {
  Flush();  // the results before the message
  Progress::EraseShown();
  std::fprintf(stderr, "%s: %.*s\n", program_.c_str(), static_cast<int>(message.size()),
               message.data());
}

bool Output::Finish() {
  Flush();
  if (std::ferror(stdout) && !failed_) failed_ = true;
  if (!failed_) return true;
  // As sha1sum words it: the reason only when there was no standard output
  // to begin with ("Bad file descriptor"); "write error" alone for a full
  // disk, a closed pipe or an output not open for writing.
  if (g_stdout_closed && error_ != 0) {
    std::fprintf(stderr, "%s: write error: %s\n", program_.c_str(), std::strerror(error_));
  } else {
    std::fprintf(stderr, "%s: write error\n", program_.c_str());
  }
  return false;
}

Output& Out() {
  static Output output;
  return output;
}

}  // namespace quillet::tool
