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
#include <string>
#include <string_view>
#include <thread>
#include <vector>

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
// Regular files are read by up to `jobs` threads at once (the calling thread
// among them); every other input (standard input, pipes, devices) is read on
// the calling thread when its turn comes, so each is read exactly once and
// in order, as sha1sum reads it. While the caller waits for an input that
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
  std::size_t window() const { return 16 * (workers_.size() + 1); }
  // The result of the oldest input still queued.
  DigestResult Next();

 private:
  struct Job {
    std::string name;
    bool in_order = false;  // read by the calling thread, at its turn
    bool started = false;   // a thread has it (under mutex_)
    std::optional<DigestResult> result;  // set under mutex_
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::chrono::steady_clock::time_point began;
  };
  // Reads `job` to its end with `buffer`; nullopt when it is not a regular
  // file after all and must be read in order.
  std::optional<DigestResult> Hash(Job& job, std::vector<std::byte>& buffer, bool regular_only,
                                   bool show_progress);
  void Work(std::vector<std::byte> buffer);

  DigestFormat format_;
  std::deque<std::unique_ptr<Job>> queue_;  // the caller's: every input not yet taken
  std::vector<std::byte> buffer_;           // the caller's
  std::mutex mutex_;
  std::condition_variable work_;  // a job for the workers, or stop
  std::condition_variable done_;  // a job finished
  std::deque<Job*> todo_;         // regular files no thread has started
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace quillet::tool
