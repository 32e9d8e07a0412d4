#include "io.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

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

InputFile::InputFile(const std::string& name, std::string& error) {
  if (name == "-") {
#if defined(_WIN32)
    _setmode(0, _O_BINARY);
#endif
    fd_ = 0;
    return;
  }
#if defined(_WIN32)
  fd_ = _open(name.c_str(), _O_RDONLY | _O_BINARY);
#else
  fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (fd_ < 0) {
    missing_ = errno == ENOENT;
    error = std::strerror(errno);
    return;
  }
  owned_ = true;
}

InputFile::~InputFile() {
  if (owned_) QUILLET_CLOSE(fd_);
}

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
  std::fprintf(stderr, "quillet: %.*s\n", static_cast<int>(message.size()), message.data());
}

bool Output::Finish() {
  Flush();
  if (std::ferror(stdout) && !failed_) failed_ = true;
  if (!failed_) return true;
  std::fprintf(stderr, "quillet: write error%s%s\n", error_ != 0 ? ": " : "",
               error_ != 0 ? std::strerror(error_) : "");
  return false;
}

Output& Out() {
  static Output output;
  return output;
}

bool NeedsEscape(std::string_view name) {
  return name.find_first_of("\\\n\r") != std::string_view::npos;
}

std::string Escape(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const char c : name) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

bool Unescape(std::string_view escaped, std::string& name) {
  name.clear();
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '\\') {
      name += escaped[i];
      continue;
    }
    if (++i == escaped.size()) return false;
    switch (escaped[i]) {
      case '\\': name += '\\'; break;
      case 'n': name += '\n'; break;
      case 'r': name += '\r'; break;
      default: return false;
    }
  }
  return true;
}

}  // namespace quillet::tool
