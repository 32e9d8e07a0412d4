// The tool's input and output: files read through their descriptors, lines
// of checksum lists, names escaped as sha1sum escapes them, and standard
// output whose every error is remembered so that the exit status tells.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::tool {

// A file, or standard input for "-", read in large pieces straight from its
// descriptor (no stdio buffer in between, so nothing is read ahead of what
// the tool asks for).
class InputFile {
 public:
  // Opens `name`; on failure `error` holds the reason and the file is not open.
  InputFile(const std::string& name, std::string& error);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool is_open() const { return fd_ >= 0; }
  // Whether opening failed because there is no such file.
  bool missing() const { return missing_; }
  // Reads up to `size` bytes: the count, 0 at the end, -1 on an error (with
  // `error` set).
  long Read(void* buffer, std::size_t size, std::string& error);

 private:
  int fd_ = -1;
  bool owned_ = false;
  bool missing_ = false;
};

// Lines of a checksum list, each without its "\n".
class LineReader {
 public:
  explicit LineReader(InputFile& file) : file_(file) {}
  // False at the end of the list or on a read error (then failed() is true).
  bool Next(std::string& line);
  bool failed() const { return failed_; }

 private:
  InputFile& file_;
  std::vector<char> buffer_ = std::vector<char>(64 * 1024);
  std::size_t begin_ = 0, end_ = 0;
  bool at_end_ = false, failed_ = false;
};

// Standard output and error. Every write to standard output is checked;
// messages flush standard output first so that the two streams keep their
// order on a shared pipe.
class Output {
 public:
  void Write(std::string_view text);
  // "quillet: MESSAGE" on standard error.
  void Warn(std::string_view message);
  // Flushes standard output; false, with a message, if anything written to
  // it was lost.
  bool Finish();

 private:
  void Flush();
  bool failed_ = false;
  int error_ = 0;
};

Output& Out();

// Whether `name` needs sha1sum's escaping, and the escaped form: backslash,
// newline and carriage return written as \\, \n and \r.
bool NeedsEscape(std::string_view name);
std::string Escape(std::string_view name);
// The reverse; false for any other escape or a lone backslash at the end.
bool Unescape(std::string_view escaped, std::string& name);

}  // namespace quillet::tool
