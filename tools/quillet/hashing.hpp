// Hashing the tool's inputs: files and standard input read to their end,
// several at once on several threads, with the results taken in order.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "reader.hpp"
#include "quillet/digest.hpp"

namespace quillet::tool {

// Reads are this large; each thread that reads has one such buffer.
inline constexpr std::size_t kReadSize = std::size_t{1} << 20;

struct DigestResult {
  bool ok = false;
  std::string digest;    // hexadecimal text
  std::string error;     // why the input could not be read
  bool missing = false;  // the file does not exist
};

// How digests are written: lower-case hex, but MD5 in upper case (as the
// library's export returns it) unless `lower_md5`.
struct DigestFormat {
  Algorithm algorithm = Algorithm::kStandardSha;
  bool lower_md5 = false;
  std::string Text(const Digest& digest) const;
};

// The digest of `text` itself.
std::string DigestOfText(const DigestFormat& format, std::string_view text);

// Hashes inputs and hands their results back in the order they were added.
// Named files are read by up to `jobs` threads at once (the calling thread
// among them, while it waits for a result), a batch of names at a time: each
// thread has its batch's small regular files read whole (Reader) and hashes
// them side by side (DigestMany), and queues the large ones for any thread
// to stream alone. Every other input (standard input, pipes, devices) is
// read on the calling thread when its turn comes, so each is read exactly
// once and in order, as sha1sum reads it; so is a file that could not be
// opened for want of descriptors. While the caller waits for an input that
// takes more than a second, its progress shows.
class Pipeline {
 public:
  Pipeline(const DigestFormat& format, unsigned jobs);
  ~Pipeline();
  Pipeline(const Pipeline&) = delete;
  Pipeline& operator=(const Pipeline&) = delete;

  void Add(std::string name);
  // The digest of `text` itself, in its place among the inputs.
  void AddText(std::string_view text);
  std::size_t queued() const { return queue_.size(); }
  // How many inputs to keep queued for the threads to stay busy.
  std::size_t window() const { return 4 * kBatchFiles * (workers_.size() + 1); }
  // The result of the oldest input still queued.
  DigestResult Next();

  // A batch holds up to kBatchFiles names; its small files are read whole
  // into the batch's buffer (kReadSize bytes) while it has room.
  static constexpr std::size_t kBatchFiles = 64;

 private:
  enum class State {
    kQueued,  // waiting in todo_ or large_
    kTaken,   // a thread reads it
    kDone,    // result set
    kInTurn,  // to be read by the calling thread at its turn (not a regular file)
  };
  struct Job {
    std::string name;
    State state = State::kQueued;         // under mutex_
    std::uint64_t size = 0;               // once looked at
    std::optional<DigestResult> result;   // set under mutex_
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::chrono::steady_clock::time_point began;
  };
  // kReadSize bytes, not cleared: a page is touched only when a read fills
  // it (clearing two buffers a thread took a millisecond of each run).
  struct Buffer {
    std::unique_ptr<std::byte[]> bytes{new std::byte[kReadSize]};
    std::span<std::byte> span() const { return {bytes.get(), kReadSize}; }
  };
  // What each reading thread has: a buffer for reads and one for the
  // batch's small files.
  struct Buffers {
    Buffer read, batch;
  };
  // What a thread did with a batch: results (nullopt: read in turn) and the
  // large files it found, for any thread to take.
  // `scarce`: a file could not be opened for want of descriptors even with
  // every one this thread held released.
  struct Outcome {
    std::vector<std::optional<DigestResult>> results;
    std::vector<Job*> large;
    bool scarce = false;
  };
  // The next batch for a thread (under mutex_): names not looked at yet, or
  // one large file. `waited`, the calling thread's: the input it waits for;
  // that thread takes no other large file, whose progress it could not show.
  std::vector<Job*> Take(const Job* waited);
  void Finished(const std::vector<Job*>& batch, Outcome outcome);
  Outcome Process(const std::vector<Job*>& batch, Buffers& buffers, const Job* waited);
  // Streams `job`'s input through `buffer` into a hasher (see
  // Reader::Stream); nullopt when it is to be read in turn (`scarce`: for
  // want of descriptors).
  std::optional<DigestResult> Hash(Job& job, Reader::Expect expect, const Buffer& buffer,
                                   bool show_progress, bool& scarce);
  void Work(Buffers buffers);

  DigestFormat format_;
  Reader reader_;
  std::deque<std::unique_ptr<Job>> queue_;  // the caller's: every input not yet taken
  Buffers buffers_;                         // the caller's
  std::mutex mutex_;
  std::condition_variable work_;  // a batch for the workers, or stop
  std::condition_variable done_;  // a batch finished
  std::deque<Job*> todo_;         // named files not looked at yet
  std::deque<Job*> large_;        // large regular files no thread has started
  bool stopping_ = false;
  std::size_t busy_ = 0;  // threads with a batch taken
  // Descriptors ran out: the workers stop taking batches, and a file that
  // could not be opened is read in turn once no other thread holds any, as
  // a program that reads one file at a time would read it.
  bool scarce_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace quillet::tool
