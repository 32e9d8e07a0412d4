// The tool's input and output: files read through their descriptors, lines
// of checksum lists, and standard output whose every error is remembered so
// that the exit status tells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::tool {

// Run first: a standard descriptor (0, 1, 2) that is closed is opened on
// /dev/null the wrong way round (standard input for writing, the others for
// reading), so that no file the tool opens later can take its number while
// reading or writing it still fails as on a closed descriptor.
void ReserveStandardDescriptors();
// Whether standard input was closed when the tool started and "-" has been
// read since: sha1sum then ends with "standard input: Bad file descriptor".
bool ClosedStandardInputWasRead();

bool IsTerminal(int fd);

// How an input must be read: regular files can be read by any thread, in
// any order; everything else (standard input, pipes, devices, names that do
// not open) is read once, by the thread that prints, in the order given.
enum class InputKind { kRegular, kInOrder };
struct InputInfo {
  InputKind kind = InputKind::kInOrder;
  std::uint64_t size = 0;  // of a regular file, as it was looked at
};
// Looks at `name` without opening it.
InputInfo Inspect(const std::string& name);

// A file, or standard input for "-", read in large pieces straight from its
// descriptor (no stdio buffer in between, so nothing is read ahead of what
// the tool asks for).
class InputFile {
 public:
  // How a name is opened: kAnything (waiting, as for a pipe, if need be);
  // kRegular: a name that turns out not to be a regular file is not read
  // (regular() is false) and is never waited on to open; kLookedAt: as
  // kRegular for a name just looked at (Inspect) and found regular, without
  // asking again until ConfirmRegular().
  enum class Open { kAnything, kRegular, kLookedAt };
  // Opens `name`; on failure `error` holds the reason and the file is not
  // open.
  InputFile(const std::string& name, std::string& error, Open how = Open::kAnything);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool is_open() const { return fd_ >= 0; }
  // Whether opening failed because there is no such file.
  bool missing() const { return missing_; }
  // Whether opening failed because too many files are open.
  bool out_of_descriptors() const { return out_of_descriptors_; }
  // With kRegular: whether the file is a regular one.
  bool regular() const { return regular_; }
  // With kLookedAt: asks whether the open file is a regular one (and its
  // size); if not, closes it.
  bool ConfirmRegular();
  // The size, when the file is a regular one (else 0).
  std::uint64_t size() const { return size_; }
  bool is_terminal() const;
  // Reads up to `size` bytes: the count, 0 at the end, -1 on an error (with
  // `error` set).
  long Read(void* buffer, std::size_t size, std::string& error);
  // Moves the offset back over the last `count` bytes read, where the file
  // can seek (a pipe or a terminal cannot: nothing happens).
  void Unread(std::size_t count);
  // Gives up the descriptor (-1 if the file has none of its own, as
  // standard input): the caller closes it (CloseDescriptor).
  int Release();

 private:
  void Ask();  // regular_ and size_ from the open descriptor

  int fd_ = -1;
  bool owned_ = false;
  bool missing_ = false;
  bool out_of_descriptors_ = false;
  bool regular_ = false;
  std::uint64_t size_ = 0;
};

void CloseDescriptor(int fd);

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
// order on a shared pipe, and erase a progress line that is showing.
class Output {
 public:
  // The name messages start with: "quillet", or "sha1sum" when run as that.
  void SetProgramName(std::string name) { program_ = std::move(name); }
  const std::string& program() const { return program_; }
  // Called before each message, to clear the terminal's line (progress).
  void SetBeforeMessage(void (*clear)()) { before_message_ = clear; }
  void Write(std::string_view text);
  // "PROGRAM: MESSAGE" on standard error.
  void Warn(std::string_view message);
  // Flushes standard output; false, with sha1sum's message, if anything
  // written to it was lost.
  bool Finish();
  void Flush();

 private:
  std::string program_ = "quillet";
  void (*before_message_)() = nullptr;
  bool failed_ = false;
  int error_ = 0;
};

Output& Out();

}  // namespace quillet::tool
