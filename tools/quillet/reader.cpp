#include "reader.hpp"

#if defined(__linux__)
#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <array>
#include <optional>

#include "io.hpp"

namespace quillet::tool {

namespace {

// Descriptors of files already read, closed together: on Linux one
// close_range call closes a run of consecutive descriptors, where close
// takes a system call each (a quarter of what a small file costs). Up to
// `capacity` (at most kCapacity) are held; then, on CloseAll() and when
// destroyed, all are closed. With no capacity each is closed at once.
class HeldDescriptors {
 public:
  static constexpr std::size_t kCapacity = 64;
  explicit HeldDescriptors(std::size_t capacity) : capacity_(std::min(capacity, kCapacity)) {}
  ~HeldDescriptors() { CloseAll(); }
  HeldDescriptors(const HeldDescriptors&) = delete;
  HeldDescriptors& operator=(const HeldDescriptors&) = delete;

  void Hold(InputFile& file) {
    const int fd = file.Release();
    if (fd < 0) return;
    if (count_ >= capacity_) CloseAll();
    if (capacity_ == 0) {
      CloseDescriptor(fd);
      return;
    }
    fds_[count_++] = fd;
  }

  // Closes every descriptor held; true if there was any.
  bool CloseAll() {
    if (count_ == 0) return false;
    const auto end = fds_.begin() + static_cast<std::ptrdiff_t>(count_);
    std::sort(fds_.begin(), end);
    for (auto run = fds_.begin(); run != end;) {
      // A run of consecutive numbers, every one of them held here: closing
      // the range closes nothing that belongs to anyone else.
      auto last = run;
      while (last + 1 != end && *(last + 1) == *last + 1) ++last;
#if defined(__linux__) && defined(SYS_close_range)
      if (last != run && syscall(SYS_close_range, static_cast<unsigned>(*run),
                                 static_cast<unsigned>(*last), 0u) == 0) {
        run = last + 1;
        continue;
      }
#endif
      for (; run != last + 1; ++run) CloseDescriptor(*run);
    }
    count_ = 0;
    return true;
  }

 private:
  std::array<int, kCapacity> fds_{};
  std::size_t count_ = 0;
  std::size_t capacity_;
};

#if defined(__linux__) && defined(SYS_close_range)
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
#endif

// How many descriptors each of `readers` threads may hold: a share of a
// quarter of what the process's limit leaves beyond those already open
// (inherited ones too) and 64 more, so that holding them never takes the
// descriptors the rest of the tool needs, and with several readers no more
// than keeps them within the first 64; none where the system has no
// close_range.
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

}  // namespace

Reader::Reader(std::size_t readers) : hold_(DescriptorsToHold(readers)) {}

BatchRead Reader::ReadWhole(std::span<const std::string* const> names,
                            std::span<std::byte> into) const {
  BatchRead batch;
  batch.files.resize(names.size());
  HeldDescriptors held(hold_);
  std::size_t used = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = *names[i];
    FileRead& read = batch.files[i];
    const InputInfo info = Inspect(name);
    if (info.kind != InputKind::kRegular) continue;  // in turn
    // Files of no stated size (as many in /proc) are streamed, as are large
    // ones and those the buffer has no room left for.
    if (info.size == 0 || info.size > kSmallFile || info.size + 1 > into.size() - used) {
      read.outcome = FileRead::Outcome::kLarge;
      read.size = info.size;
      continue;
    }
    const auto size = static_cast<std::size_t>(info.size);
    std::optional<InputFile> opened;
    opened.emplace(name, read.error, InputFile::Open::kLookedAt);
    if (!opened->is_open() && opened->out_of_descriptors()) {
      // The files this batch holds are closed first; if that frees none,
      // or not enough, the file is read in turn.
      const bool released = held.CloseAll();
      read.error.clear();
      if (released) opened.emplace(name, read.error, InputFile::Open::kLookedAt);
      if (!opened->is_open() && (!released || opened->out_of_descriptors())) {
        read.error.clear();
        batch.scarce = true;
        continue;
      }
    }
    InputFile& file = *opened;
    if (!file.is_open()) {
      read.outcome = FileRead::Outcome::kFailed;
      read.missing = file.missing();
      continue;
    }
    std::byte* const start = into.data() + used;
    std::size_t got = 0;
    bool failed = false;
    for (;;) {
      const long n = file.Read(start + got, size + 1 - got, read.error);
      if (n < 0) failed = true;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
      // A regular file that gave what it said it held and no more, asked
      // for more, is at its end: no second read to hear it.
      if (got >= size) break;
    }
    // Anything but its size, or a failed read, and the file is asked again
    // what it is: one replaced by a pipe or a device since it was looked at
    // (whose read may have failed only for want of data) is read in turn.
    if ((failed || got != size) && !file.ConfirmRegular()) {
      read.error.clear();
      continue;
    }
    if (failed) {
      read.outcome = FileRead::Outcome::kFailed;
    } else if (got > size) {  // it grew: streamed again from its start
      read.outcome = FileRead::Outcome::kLarge;
      read.size = got;
    } else {
      read.outcome = FileRead::Outcome::kWhole;
      read.bytes = std::span<const std::byte>(start, got);
      used += got;
      held.Hold(file);
    }
  }
  return batch;
}

StreamRead Reader::Stream(const std::string& name, Expect expect, std::span<std::byte> buffer,
                          Sink& sink) const {
  StreamRead stream;
  InputFile file(name, stream.error,
                 expect == Expect::kRegular ? InputFile::Open::kRegular : InputFile::Open::kAnything);
  if (!file.is_open()) {
    if (expect == Expect::kRegular && (stream.error.empty() || file.out_of_descriptors())) {
      // No longer a regular file, or no descriptor for it (this thread
      // holds none while it streams): read in turn.
      stream.outcome = StreamRead::Outcome::kInTurn;
      stream.scarce = file.out_of_descriptors();
      stream.error.clear();
    } else {
      stream.missing = file.missing();
    }
    return stream;
  }
  sink.Opened(file.size(), file.is_terminal());
  for (;;) {
    const long got = file.Read(buffer.data(), buffer.size(), stream.error);
    if (got < 0) return stream;
    if (got == 0) break;
    sink.Take(buffer.first(static_cast<std::size_t>(got)));
  }
  stream.outcome = StreamRead::Outcome::kDone;
  return stream;
}

}  // namespace quillet::tool
