#include "hashing.hpp"

#include <algorithm>
#include <new>
#include <system_error>

#include "io.hpp"
#include "progress.hpp"

namespace quillet::tool {

std::string DigestFormat::Text(const Digest& digest) const {
  const bool upper = algorithm == Algorithm::kMd5 && !lower_md5;
  return std::string(ToHex(digest, upper).view());
}

std::string DigestOfText(const DigestFormat& format, std::string_view text) {
  Hasher hasher(format.algorithm);
  return format.Text(hasher.Update(text).Finish());
}

Pipeline::Pipeline(const DigestFormat& format, unsigned jobs)
    : format_(format), buffer_(kReadSize) {
  // The calling thread is one of the `jobs`. A thread that cannot be had
  // (no memory for its stack or its buffer) is done without: the inputs are
  // then read by fewer threads, at least by this one.
  for (unsigned i = 1; i < jobs; ++i) {
    try {
      std::vector<std::byte> buffer(kReadSize);
      workers_.emplace_back([this, b = std::move(buffer)]() mutable { Work(std::move(b)); });
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
}

Pipeline::~Pipeline() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (auto& worker : workers_) worker.join();
}

void Pipeline::Add(std::string name) {
  auto job = std::make_unique<Job>();
  job->name = std::move(name);
  job->in_order = KindOf(job->name) == InputKind::kInOrder;
  if (!job->in_order && !workers_.empty()) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      todo_.push_back(job.get());
    }
    work_.notify_one();
  }
  queue_.push_back(std::move(job));
}

void Pipeline::AddText(std::string_view text) {
  auto job = std::make_unique<Job>();
  DigestResult result;
  result.ok = true;
  result.digest = DigestOfText(format_, text);
  job->result = std::move(result);
  job->started = true;
  queue_.push_back(std::move(job));
}

std::optional<DigestResult> Pipeline::Hash(Job& job, std::vector<std::byte>& buffer,
                                           bool regular_only, bool show_progress) {
  DigestResult result;
  InputFile file(job.name, result.error, regular_only);
  if (regular_only && !file.regular() && result.error.empty()) return std::nullopt;
  if (!file.is_open()) {
    result.missing = file.missing();
    return result;
  }
  if (show_progress && file.is_terminal()) Progress::Disable();
  job.total.store(file.size(), std::memory_order_relaxed);
  Hasher hasher(format_.algorithm);
  auto last_shown = job.began;
  for (;;) {
    const long got = file.Read(buffer.data(), buffer.size(), result.error);
    if (got < 0) return result;
    if (got == 0) break;
    hasher.Update(std::span<const std::byte>(buffer.data(), static_cast<std::size_t>(got)));
    const auto read = static_cast<std::uint64_t>(got);
    const auto done = job.done.fetch_add(read, std::memory_order_relaxed) + read;
    if (show_progress && Progress::enabled()) {
      const auto now = std::chrono::steady_clock::now();
      if (now - last_shown >= std::chrono::milliseconds(250)) {
        last_shown = now;
        Progress::Show(job.name, done, file.size(),
                       std::chrono::duration<double>(now - job.began).count());
      }
    }
  }
  result.ok = true;
  result.digest = format_.Text(hasher.Finish());
  return result;
}

void Pipeline::Work(std::vector<std::byte> buffer) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
    if (stopping_) return;
    Job* job = todo_.front();
    todo_.pop_front();
    job->started = true;
    job->began = std::chrono::steady_clock::now();
    lock.unlock();
    std::optional<DigestResult> result = Hash(*job, buffer, true, false);
    lock.lock();
    if (result) {
      job->result = std::move(result);
    } else {
      job->in_order = true;  // not a regular file after all
    }
    done_.notify_all();
  }
}

DigestResult Pipeline::Next() {
  std::unique_ptr<Job> job = std::move(queue_.front());
  queue_.pop_front();
  bool mine = false;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!job->started) {  // no worker has it: this thread reads it
      job->started = true;
      mine = true;
      // and no worker may meet it later, once it is gone.
      if (const auto queued = std::find(todo_.begin(), todo_.end(), job.get());
          queued != todo_.end()) {
        todo_.erase(queued);
      }
    } else {
      // A worker has it; wait, with progress once a second has passed.
      while (!job->result && !job->in_order) {
        done_.wait_for(lock, std::chrono::milliseconds(250));
        if (job->result || job->in_order || !Progress::enabled()) continue;
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - job->began).count();
        const auto done = job->done.load(std::memory_order_relaxed);
        const auto total = job->total.load(std::memory_order_relaxed);
        lock.unlock();
        Progress::Show(job->name, done, total, seconds);
        lock.lock();
      }
      mine = !job->result;
    }
  }
  if (mine) {
    job->began = std::chrono::steady_clock::now();
    job->done.store(0, std::memory_order_relaxed);
    job->result = Hash(*job, buffer_, false, true);
  }
  Progress::EraseShown();
  return std::move(*job->result);
}

}  // namespace quillet::tool
