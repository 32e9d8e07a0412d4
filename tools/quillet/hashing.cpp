#include "hashing.hpp"

#include <span>
#include <type_traits>

#include "io.hpp"
#include "quillet/digest.hpp"

namespace quillet::tool {

std::optional<Algorithm> ParseAlgorithm(std::string_view command) {
  if (command == "sha1") return Algorithm::kSha1;
  if (command == "broken") return Algorithm::kBroken;
  if (command == "lockdown") return Algorithm::kLockdown;
  if (command == "md5") return Algorithm::kMd5;
  return std::nullopt;
}

std::string_view TagOf(Algorithm algorithm) {
  switch (algorithm) {
    case Algorithm::kSha1: return "SHA1";
    case Algorithm::kBroken: return "BrokenSHA";
    case Algorithm::kLockdown: return "LockdownSHA";
    case Algorithm::kMd5: break;
  }
  return "MD5";
}

std::size_t HexLength(Algorithm algorithm) { return algorithm == Algorithm::kMd5 ? 32 : 40; }

namespace {

template <typename Hasher>
std::string Render(Hasher& hasher, bool lower) {
  if constexpr (std::is_same_v<Hasher, Md5Hasher>) {
    if (lower) {
      const auto text = ToHex(hasher.Finish());
      return {text.begin(), text.end()};
    }
    const auto text = hasher.FinishHex();
    return {text.begin(), text.end()};
  } else {
    const auto text = ToHex(hasher.Finish());
    return {text.begin(), text.end()};
  }
}

// Calls visit.operator()<Hasher>() with the streaming hasher of `algorithm`.
template <typename Visit>
auto WithHasher(Algorithm algorithm, Visit&& visit) {
  switch (algorithm) {
    case Algorithm::kSha1: return visit.template operator()<StandardShaHasher>();
    case Algorithm::kBroken: return visit.template operator()<BrokenShaHasher>();
    case Algorithm::kLockdown: return visit.template operator()<LockdownShaHasher>();
    case Algorithm::kMd5: break;
  }
  return visit.template operator()<Md5Hasher>();
}

}  // namespace

DigestResult DigestFile(Algorithm algorithm, const std::string& name, std::vector<std::byte>& buffer,
                        bool lower, std::atomic<std::uint64_t>* done) {
  DigestResult result;
  InputFile file(name, result.error);
  if (!file.is_open()) {
    result.missing = file.missing();
    return result;
  }
  return WithHasher(algorithm, [&]<typename Hasher>() {
    Hasher hasher;
    for (;;) {
      const long got = file.Read(buffer.data(), buffer.size(), result.error);
      if (got < 0) return result;
      if (got == 0) break;
      hasher.Update(std::span<const std::byte>(buffer.data(), static_cast<std::size_t>(got)));
      if (done != nullptr) done->fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
    }
    result.ok = true;
    result.digest = Render(hasher, lower);
    return result;
  });
}

std::string DigestText(Algorithm algorithm, std::string_view text, bool lower) {
  return WithHasher(algorithm, [&]<typename Hasher>() {
    Hasher hasher;
    hasher.Update(text);
    return Render(hasher, lower);
  });
}

ParallelDigests::ParallelDigests(Algorithm algorithm, std::vector<std::string> names, unsigned jobs,
                                 bool lower)
    : algorithm_(algorithm), names_(std::move(names)), lower_(lower), slots_(names_.size()) {
  std::size_t stdin_count = 0;
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (names_[i] == "-") slots_[i].stdin_turn = stdin_count++;
  }
  const std::size_t threads = std::min<std::size_t>(jobs == 0 ? 1 : jobs, names_.size());
  for (std::size_t t = 0; t < threads; ++t) workers_.emplace_back([this] { Work(); });
}

ParallelDigests::~ParallelDigests() {
  next_.store(names_.size());  // no new inputs are started
  for (auto& worker : workers_) worker.join();
}

void ParallelDigests::Work() {
  std::vector<std::byte> buffer(kReadSize);
  for (;;) {
    const std::size_t i = next_.fetch_add(1);
    if (i >= names_.size()) return;
    Slot& slot = slots_[i];
    const bool is_stdin = names_[i] == "-";
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (is_stdin) changed_.wait(lock, [&] { return stdin_next_ == slot.stdin_turn; });
      slot.started = std::chrono::steady_clock::now();
    }
    DigestResult result = DigestFile(algorithm_, names_[i], buffer, lower_, &slot.done);
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      slot.result = std::move(result);
      if (is_stdin) ++stdin_next_;
    }
    changed_.notify_all();
  }
}

DigestResult ParallelDigests::Take(std::size_t index, const Waiting& waiting) {
  Slot& slot = slots_[index];
  std::unique_lock<std::mutex> lock(mutex_);
  while (!slot.result) {
    changed_.wait_for(lock, std::chrono::milliseconds(250));
    if (!slot.result && slot.started && waiting) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - *slot.started).count();
      const std::uint64_t bytes = slot.done.load(std::memory_order_relaxed);
      lock.unlock();
      waiting(bytes, seconds);
      lock.lock();
    }
  }
  return std::move(*slot.result);
}

}  // namespace quillet::tool
