#include "hashing.hpp"

#include <algorithm>
#include <new>
#include <optional>
#include <system_error>

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
    : format_(format), reader_(jobs) {
  // The calling thread is one of the `jobs`. A thread that cannot be had
  // (no memory for its stack or its buffers) is done without: the inputs are
  // then read by fewer threads, at least by this one.
  for (unsigned i = 1; i < jobs; ++i) {
    try {
      Buffers buffers;
      workers_.emplace_back([this, b = std::move(buffers)]() mutable { Work(std::move(b)); });
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
  if (job->name == "-") {
    job->state = State::kInTurn;
  } else {
    std::size_t waiting = 0;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      todo_.push_back(job.get());
      waiting = todo_.size();
    }
    // A worker is woken for each batch's worth of names; the calling thread
    // takes what is left when it needs it.
    if (!workers_.empty() && waiting % kBatchFiles == 0) work_.notify_one();
  }
  queue_.push_back(std::move(job));
}

void Pipeline::AddText(std::string_view text) {
  auto job = std::make_unique<Job>();
  DigestResult result;
  result.ok = true;
  result.digest = DigestOfText(format_, text);
  job->result = std::move(result);
  job->state = State::kDone;
  queue_.push_back(std::move(job));
}

std::vector<Pipeline::Job*> Pipeline::Take(const Job* waited) {
  std::vector<Job*> batch;
  const auto now = std::chrono::steady_clock::now();
  const auto take = [&](Job* job) {
    job->state = State::kTaken;
    job->began = now;
    batch.push_back(job);
  };
  const auto large = std::find(large_.begin(), large_.end(), waited);
  if (waited != nullptr && large != large_.end()) {
    take(*large);
    large_.erase(large);
  } else if (waited == nullptr && !large_.empty()) {
    take(large_.front());
    large_.pop_front();
  } else {
    while (!todo_.empty() && batch.size() < kBatchFiles) {
      take(todo_.front());
      todo_.pop_front();
    }
  }
  if (!batch.empty()) ++busy_;
  return batch;
}

void Pipeline::Finished(const std::vector<Job*>& batch, Outcome outcome) {
  --busy_;
  scarce_ = scarce_ || outcome.scarce;
  for (std::size_t i = 0; i < batch.size(); ++i) {
    if (batch[i]->state != State::kTaken) continue;  // large: queued again
    if (outcome.results[i]) {
      batch[i]->result = std::move(outcome.results[i]);
      batch[i]->state = State::kDone;
    } else {
      batch[i]->state = State::kInTurn;  // not a regular file
    }
  }
  for (Job* job : outcome.large) {
    job->state = State::kQueued;
    large_.push_back(job);
    if (!workers_.empty()) work_.notify_one();
  }
  done_.notify_all();
}

Pipeline::Outcome Pipeline::Process(const std::vector<Job*>& batch, Buffers& buffers,
                                    const Job* waited) {
  Outcome outcome;
  outcome.results.resize(batch.size());
  if (batch.size() == 1 && batch[0]->size != 0) {  // a large file, looked at before
    Job& job = *batch[0];
    outcome.results[0] =
        Hash(job, Reader::Expect::kRegular, buffers.read, &job == waited, outcome.scarce);
    return outcome;
  }
  std::vector<const std::string*> names;
  for (const Job* job : batch) names.push_back(&job->name);
  BatchRead read = reader_.ReadWhole(names, buffers.batch.span());
  outcome.scarce = read.scarce;
  std::vector<ByteView> messages;
  std::vector<std::size_t> owners;  // the batch index of each message
  for (std::size_t i = 0; i < batch.size(); ++i) {
    FileRead& file = read.files[i];
    switch (file.outcome) {
      case FileRead::Outcome::kInTurn:
        break;
      case FileRead::Outcome::kWhole:
        messages.push_back(file.bytes);
        owners.push_back(i);
        break;
      case FileRead::Outcome::kFailed: {
        DigestResult result;
        result.error = std::move(file.error);
        result.missing = file.missing;
        outcome.results[i] = std::move(result);
        break;
      }
      case FileRead::Outcome::kLarge:
        batch[i]->size = std::max<std::uint64_t>(file.size, 1);
        outcome.large.push_back(batch[i]);
        break;
    }
  }
  std::vector<Digest> digests(messages.size());
  DigestMany(format_.algorithm, messages, digests);
  for (std::size_t m = 0; m < messages.size(); ++m) {
    DigestResult result;
    result.ok = true;
    result.digest = format_.Text(digests[m]);
    outcome.results[owners[m]] = std::move(result);
  }
  return outcome;
}

namespace {

// Hashes what a stream gives, counting it for `job`'s progress and showing
// that progress every quarter of a second when asked to.
template <typename Job>
class HashingSink final : public Sink {
 public:
  HashingSink(const DigestFormat& format, Job& job, bool show_progress)
      : hasher_(format.algorithm), job_(job), show_progress_(show_progress), last_shown_(job.began) {}

  void Opened(std::uint64_t size, bool is_terminal) override {
    if (show_progress_ && Progress::enabled() && is_terminal) Progress::Disable();
    job_.total.store(size, std::memory_order_relaxed);
  }

  void Take(std::span<const std::byte> bytes) override {
    hasher_.Update(bytes);
    const auto read = static_cast<std::uint64_t>(bytes.size());
    const auto done = job_.done.fetch_add(read, std::memory_order_relaxed) + read;
    if (!show_progress_ || !Progress::enabled()) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - last_shown_ < std::chrono::milliseconds(250)) return;
    last_shown_ = now;
    Progress::Show(job_.name, done, job_.total.load(std::memory_order_relaxed),
                   std::chrono::duration<double>(now - job_.began).count());
  }

  Digest Finish() { return hasher_.Finish(); }

 private:
  Hasher hasher_;
  Job& job_;
  bool show_progress_;
  std::chrono::steady_clock::time_point last_shown_;
};

}  // namespace

std::optional<DigestResult> Pipeline::Hash(Job& job, Reader::Expect expect, const Buffer& buffer,
                                           bool show_progress, bool& scarce) {
  HashingSink<Job> sink(format_, job, show_progress);
  StreamRead stream = reader_.Stream(job.name, expect, buffer.span(), sink);
  DigestResult result;
  switch (stream.outcome) {
    case StreamRead::Outcome::kInTurn:
      scarce = scarce || stream.scarce;
      return std::nullopt;
    case StreamRead::Outcome::kDone:
      result.ok = true;
      result.digest = format_.Text(sink.Finish());
      break;
    case StreamRead::Outcome::kFailed:
      result.error = std::move(stream.error);
      result.missing = stream.missing;
      break;
  }
  return result;
}

void Pipeline::Work(Buffers buffers) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::vector<Job*> batch;
    work_.wait(lock, [&] {
      if (stopping_) return true;
      if (scarce_) return false;  // the calling thread reads alone
      batch = Take(nullptr);
      return !batch.empty();
    });
    if (stopping_) return;
    lock.unlock();
    Outcome outcome = Process(batch, buffers, nullptr);
    lock.lock();
    Finished(batch, std::move(outcome));
  }
}

DigestResult Pipeline::Next() {
  std::unique_ptr<Job> job = std::move(queue_.front());
  queue_.pop_front();
  std::unique_lock<std::mutex> lock(mutex_);
  while (job->state == State::kQueued || job->state == State::kTaken) {
    // Until it is done, this thread reads what it may; then waits, with
    // progress once a second has passed.
    std::vector<Job*> batch = Take(job.get());
    if (!batch.empty()) {
      lock.unlock();
      Outcome outcome = Process(batch, buffers_, job.get());
      lock.lock();
      Finished(batch, std::move(outcome));
      continue;
    }
    done_.wait_for(lock, std::chrono::milliseconds(250));
    if (job->state != State::kTaken || !Progress::enabled()) continue;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - job->began).count();
    const auto done = job->done.load(std::memory_order_relaxed);
    const auto total = job->total.load(std::memory_order_relaxed);
    lock.unlock();
    Progress::Show(job->name, done, total, seconds);
    lock.lock();
  }
  // Short of descriptors: the file is opened once no other thread holds any.
  if (job->state == State::kInTurn && scarce_) done_.wait(lock, [&] { return busy_ == 0; });
  lock.unlock();
  if (job->state == State::kInTurn) {
    job->began = std::chrono::steady_clock::now();
    job->done.store(0, std::memory_order_relaxed);
    bool scarce = false;
    job->result = Hash(*job, Reader::Expect::kAnything, buffers_.read, true, scarce);
  }
  Progress::EraseShown();
  return std::move(*job->result);
}

}  // namespace quillet::tool
