// The digests the tool offers, and hashing many inputs on several threads
// with the results taken in order.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillet::tool {

enum class Algorithm { kSha1, kBroken, kLockdown, kMd5 };

std::optional<Algorithm> ParseAlgorithm(std::string_view command);
// The name in BSD-style lines: "SHA1 (name) = digest".
std::string_view TagOf(Algorithm algorithm);
std::size_t HexLength(Algorithm algorithm);

// Reads are this large; each input being hashed has one such buffer.
inline constexpr std::size_t kReadSize = std::size_t{1} << 20;

struct DigestResult {
  bool ok = false;
  std::string digest;  // hexadecimal text
  std::string error;   // why the input could not be read
  bool missing = false;  // the file does not exist
};

// The digest of a whole file (or of standard input for "-"), read in
// kReadSize pieces into `buffer`; `done` counts the bytes read so far.
// MD5 is upper case as the library returns it unless `lower`.
DigestResult DigestFile(Algorithm algorithm, const std::string& name, std::vector<std::byte>& buffer,
                        bool lower, std::atomic<std::uint64_t>* done = nullptr);
std::string DigestText(Algorithm algorithm, std::string_view text, bool lower);

// Hashes `names` on `jobs` threads. Take(i) waits for the i-th result in
// order; while it waits, `waiting` is called about every quarter second with
// the bytes read of that input and the seconds since its hashing began.
// At most `jobs` reads are in flight; standard input ("-", any number of
// times) is read by one input at a time, in the order of the names.
class ParallelDigests {
 public:
  using Waiting = std::function<void(std::uint64_t bytes, double seconds)>;
  ParallelDigests(Algorithm algorithm, std::vector<std::string> names, unsigned jobs, bool lower);
  ~ParallelDigests();
  ParallelDigests(const ParallelDigests&) = delete;
  ParallelDigests& operator=(const ParallelDigests&) = delete;

  DigestResult Take(std::size_t index, const Waiting& waiting);

 private:
  struct Slot {
    std::optional<DigestResult> result;
    std::atomic<std::uint64_t> done{0};
    std::optional<std::chrono::steady_clock::time_point> started;
    std::size_t stdin_turn = 0;  // for "-": its place among the "-" names
  };
  void Work();

  Algorithm algorithm_;
  std::vector<std::string> names_;
  bool lower_;
  std::vector<Slot> slots_;
  std::atomic<std::size_t> next_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t stdin_next_ = 0;  // the "-" whose turn it is
  std::vector<std::thread> workers_;
};

}  // namespace quillet::tool
