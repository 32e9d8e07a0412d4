// The tool's input and output: files read through their descriptors, lines
// of checksum lists, and standard output whose every error is remembered so
// that the exit status tells.
#pragma once

#include <array>
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
  std::uint64_t size = 0;    // of a regular file, as it was looked at
  std::uint64_t device = 0;  // the device that holds it
};
// Where names are looked up: from a descriptor of the directory a name is
// in, kept while the names that follow are in the same one. A batch of names
// in one directory then walks the directory's path once, not twice for each
// name (to look at it and to open it). A name with no directory part, or
// whose directory does not open, is looked up whole, as given.
class NameLookup {
 public:
  NameLookup() = default;
  ~NameLookup();
  NameLookup(const NameLookup&) = delete;
  NameLookup& operator=(const NameLookup&) = delete;
  struct Place {
    int directory;     // a directory descriptor, or the working directory's
    const char* name;  // relative to it
  };
  Place Find(const std::string& name);
  // Closes the directory's descriptor, and looks every later name up whole:
  // for when the process runs out of descriptors. True if one was open.
  bool Forgo();

 private:
  std::string path_;  // the directory part last seen, with its final '/'
  int fd_ = -1;       // its descriptor, -1 if it did not open
  bool tried_ = false;
  bool forgone_ = false;
};

// `lookup`, if given, finds the name (see NameLookup).
InputInfo Inspect(const std::string& name, NameLookup* lookup = nullptr);

// Whether `device` (a regular file's) is a spinning disk, which more than one
// reader at a time would make seek back and forth. False where the system
// does not tell (anything but Linux, file systems on no block device).
bool IsRotational(std::uint64_t device);

class HeldDescriptors;

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
  InputFile(const std::string& name, std::string& error, Open how = Open::kAnything,
            NameLookup* lookup = nullptr);
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
  // The same only from what the system has in memory (the page cache):
  // `would_wait` is set, and nothing read, where the read would wait for a
  // disk (or the system cannot tell).
  long ReadCached(void* buffer, std::size_t size, std::string& error, bool& would_wait);
  // Moves the offset back over the last `count` bytes read, where the file
  // can seek (a pipe or a terminal cannot: nothing happens).
  void Unread(std::size_t count);
  // Hands the open descriptor to `held`, to be closed with others.
  void HandTo(HeldDescriptors& held);

 private:
  void Ask();  // regular_ and size_ from the open descriptor

  int fd_ = -1;
  bool owned_ = false;
  bool missing_ = false;
  bool out_of_descriptors_ = false;
  bool regular_ = false;
  std::uint64_t size_ = 0;
};

// Descriptors of files already read, closed together: on Linux one
// close_range call closes a run of consecutive descriptors, where close takes
// a system call each (a quarter of those a small file costs). Up to
// `capacity` (at most kCapacity) are held; then, on CloseAll() and when
// destroyed, all are closed. With no capacity each is closed at once.
class HeldDescriptors {
 public:
  static constexpr std::size_t kCapacity = 64;
  explicit HeldDescriptors(std::size_t capacity)
      : capacity_(capacity < kCapacity ? capacity : kCapacity) {}
  ~HeldDescriptors() { CloseAll(); }
  HeldDescriptors(const HeldDescriptors&) = delete;
  HeldDescriptors& operator=(const HeldDescriptors&) = delete;
  void Hold(int fd);
  // Closes every descriptor held; true if there was any.
  bool CloseAll();

 private:
  std::array<int, kCapacity> fds_{};
  std::size_t count_ = 0;
  std::size_t capacity_;
};

// How many descriptors each of `readers` threads may hold (HeldDescriptors):
// a share of a quarter of what the process's limit leaves beyond those
// already open (inherited ones too) and 64 more, so that holding them never
// takes the descriptors the rest of the tool needs, and with several readers
// no more than keeps them within the first 64; none where the system has no
// close_range.
std::size_t DescriptorsToHold(std::size_t readers);

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
  void Write(std::string_view text);
  // "PROGRAM: MESSAGE" on standard error.
  void Warn(std::string_view message);
  // Flushes standard output; false, with sha1sum's message, if anything
  // written to it was lost.
  bool Finish();
  void Flush();

 private:
  std::string program_ = "quillet";
  bool failed_ = false;
  int error_ = 0;
};

Output& Out();

}  // namespace quillet::tool
