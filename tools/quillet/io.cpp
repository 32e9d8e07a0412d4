#include "io.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>


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

InputInfo Inspect(const std::string& name) {
  InputInfo info;
  if (name == "-") return info;
#if defined(_WIN32)
  struct _stat64 st;
  if (_stat64(name.c_str(), &st) != 0) return info;
#else
  struct stat st;
  if (stat(name.c_str(), &st) != 0) return info;
#endif
  if ((st.st_mode & S_IFMT) != S_IFREG) return info;
  info.kind = InputKind::kRegular;
  info.size = static_cast<std::uint64_t>(st.st_size);
  return info;
}

InputFile::InputFile(const std::string& name, std::string& error, Open how) {
  if (name == "-") {
#if defined(_WIN32)
    _setmode(0, _O_BINARY);
#endif
    fd_ = 0;
    g_stdin_read = true;
  } else {
#if defined(_WIN32)
    fd_ = _open(name.c_str(), _O_RDONLY | _O_BINARY);
#else
    // Never blocks: a name that has become a pipe since it was looked at is
    // not waited on here.
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | (how != Open::kAnything ? O_NONBLOCK : 0));
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

int InputFile::Release() {
  if (!owned_) return -1;
  owned_ = false;
  return std::exchange(fd_, -1);
}

void CloseDescriptor(int fd) { QUILLET_CLOSE(fd); }

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
  if (before_message_ != nullptr) before_message_();
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
