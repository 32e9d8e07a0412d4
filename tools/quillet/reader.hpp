// How the tool fetches the bytes of its named inputs. The pipeline
// (hashing.hpp) decides which thread reads what and when, and orders the
// results; everything about opening, reading and closing is here, in two
// calls: read a batch of small regular files whole, and stream one input
// into a sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quillet::tool {

// What became of one name of a batch read whole.
struct FileRead {
  enum class Outcome {
    kInTurn,  // not a regular file, or no descriptor left to open it: read
              // by the thread that prints, when its turn comes
    kWhole,   // `bytes` holds the whole file
    kFailed,  // `error` says why (`missing`: there is no such file)
    kLarge,   // a regular file to be streamed alone (`size` as looked at):
              // larger than a small file, of no stated size, longer than it
              // said, or one the batch's buffer had no room left for
  };
  Outcome outcome = Outcome::kInTurn;
  std::span<const std::byte> bytes;
  std::uint64_t size = 0;
  std::string error;
  bool missing = false;
};

struct BatchRead {
  std::vector<FileRead> files;  // one for each name, in order
  // A file could not be opened for want of descriptors even with every one
  // the batch held closed: another thread holds the rest.
  bool scarce = false;
};

// Where a streamed input's bytes go, in order.
class Sink {
 public:
  // Once, before any bytes: the size if the input is a regular file (else
  // 0), and whether it is a terminal.
  virtual void Opened(std::uint64_t size, bool is_terminal) = 0;
  virtual void Take(std::span<const std::byte> bytes) = 0;

 protected:
  ~Sink() = default;
};

struct StreamRead {
  enum class Outcome {
    kDone,    // every byte went to the sink
    kFailed,  // `error` says why (`missing`: there is no such file)
    kInTurn,  // asked for a regular file, found none or no descriptor
  };
  Outcome outcome = Outcome::kFailed;
  std::string error;
  bool missing = false;
  bool scarce = false;  // kInTurn for want of descriptors
};

class Reader {
 public:
  // `readers`: how many threads read at once (each with its own buffers).
  explicit Reader(std::size_t readers);

  // A regular file of up to this many bytes is small.
  static constexpr std::uint64_t kSmallFile = 64 * 1024;

  // Reads the small regular files among `names` whole, one after another
  // into `into`, with one read each, asking for one byte more than each
  // file's size so that a file longer than it said is seen; the files'
  // descriptors are closed together. Thread-safe.
  BatchRead ReadWhole(std::span<const std::string* const> names, std::span<std::byte> into) const;

  // How a name to stream is taken: kRegular, a file found regular by
  // ReadWhole (one that no longer is comes back kInTurn, and is never
  // waited on to open); kAnything, whatever the name is (a pipe, standard
  // input for "-"), waited on as need be.
  enum class Expect { kRegular, kAnything };
  // Reads `name` to its end through `buffer`, into `sink`. Thread-safe.
  StreamRead Stream(const std::string& name, Expect expect, std::span<std::byte> buffer,
                    Sink& sink) const;

 private:
  std::size_t hold_;  // descriptors a batch may keep open to close together
};

}  // namespace quillet::tool
