#include "hashing.hpp"

#include <algorithm>
#include <new>
#include <optional>
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

namespace {

// Reads from `file`; from a spinning disk (`disk` given) what is in memory
// without its lock, the rest holding it, so that one thread at a time makes
// the disk seek while files in the page cache are read by all at once.
long ReadFrom(InputFile& file, void* buffer, std::size_t size, std::string& error,
              std::unique_lock<std::mutex>* disk) {
  if (disk != nullptr && !disk->owns_lock()) {
    bool would_wait = false;
    const long got = file.ReadCached(buffer, size, error, would_wait);
    if (!would_wait) return got;
    disk->lock();
  }
  return file.Read(buffer, size, error);
}

}  // namespace

Pipeline::Pipeline(const DigestFormat& format, unsigned jobs)
    : format_(format), hold_(DescriptorsToHold(jobs)) {
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

bool Pipeline::Spinning(std::uint64_t device) {
  const std::lock_guard<std::mutex> lock(devices_mutex_);
  for (const auto& [known, spinning] : devices_) {
    if (known == device) return spinning;
  }
  devices_.emplace_back(device, IsRotational(device));
  return devices_.back().second;
}

Pipeline::Outcome Pipeline::Process(const std::vector<Job*>& batch, Buffers& buffers,
                                    const Job* waited) {
  Outcome outcome;
  outcome.results.resize(batch.size());
  if (batch.size() == 1 && batch[0]->size != 0) {  // a large file, looked at before
    Job& job = *batch[0];
    DigestResult result;
    InputFile file(job.name, result.error, InputFile::Open::kRegular);
    if (file.is_open()) {
      result = Hash(job, file, buffers.read, &job == waited, {});
    } else if (result.error.empty()) {
      return outcome;  // no longer a regular file: read in turn
    } else if (file.out_of_descriptors()) {
      outcome.scarce = true;  // this thread holds none: read in turn
      return outcome;
    } else {
      result.missing = file.missing();
    }
    outcome.results[0] = std::move(result);
    return outcome;
  }
  std::vector<ByteView> messages;
  std::vector<std::size_t> owners;  // the batch index of each message
  std::size_t used = 0;
  HeldDescriptors held(hold_);  // the small files read, closed together
  NameLookup lookup;
  for (std::size_t i = 0; i < batch.size(); ++i) {
    Job& job = *batch[i];
    const InputInfo info = Inspect(job.name, &lookup);
    if (info.kind != InputKind::kRegular) continue;  // read in turn
    if (info.device != buffers.device) {
      buffers.device = info.device;
      buffers.spinning = Spinning(info.device);
    }
    job.spinning = buffers.spinning;
    // A small file is read whole into the batch buffer, asking for one byte
    // more than its size so that a file longer than it said is seen. Files
    // of no stated size (as many in /proc) and large ones are queued to be
    // read alone.
    if (info.size == 0 || info.size > kSmallFile || info.size + 1 > buffers.batch.size() - used) {
      job.size = std::max<std::uint64_t>(info.size, 1);
      outcome.large.push_back(&job);
      continue;
    }
    const auto size = static_cast<std::size_t>(info.size);
    DigestResult result;
    std::optional<InputFile> opened;
    opened.emplace(job.name, result.error, InputFile::Open::kLookedAt, &lookup);
    if (!opened->is_open() && opened->out_of_descriptors()) {
      // The descriptors this thread holds go first (the files read, the
      // directory's); if that was not enough, the file is read in turn.
      // Both are released, whatever the first one freed.
      const bool closed_files = held.CloseAll();
      const bool closed_directory = lookup.Forgo();
      const bool released = closed_files || closed_directory;
      result.error.clear();
      if (released) opened.emplace(job.name, result.error, InputFile::Open::kLookedAt, &lookup);
      if (!opened->is_open() && (!released || opened->out_of_descriptors())) {
        outcome.scarce = true;
        continue;
      }
    }
    InputFile& file = *opened;
    if (!file.is_open()) {
      result.missing = file.missing();
      outcome.results[i] = std::move(result);
      continue;
    }
    std::byte* into = buffers.batch.data() + used;
    std::size_t got = 0;
    bool failed = false;
    std::unique_lock<std::mutex> disk(disk_, std::defer_lock);
    for (;;) {
      const long n =
          ReadFrom(file, into + got, size + 1 - got, result.error, job.spinning ? &disk : nullptr);
      if (n < 0) failed = true;
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
      // A regular file that gave what it said it held and no more, asked
      // for more, is at its end: no second read to hear it.
      if (got == size || got > size) break;
    }
    // Anything but its size, or a failed read, and the file is asked again
    // what it is: one replaced by a pipe or a device since it was looked at
    // (whose read may have failed only for want of data) is read in turn.
    if ((failed || got != size) && !file.ConfirmRegular()) continue;
    if (failed) {
      outcome.results[i] = std::move(result);
    } else if (got > size) {  // longer than it said: the rest as a large file
      if (disk.owns_lock()) disk.unlock();  // Hash takes the disk as it needs it
      outcome.results[i] = Hash(job, file, buffers.read, &job == waited, std::span(into, got));
    } else {
      messages.emplace_back(std::span<const std::byte>(into, got));
      owners.push_back(i);
      used += got;
      file.HandTo(held);
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

DigestResult Pipeline::Hash(Job& job, InputFile& file, const Buffer& buffer,
                            bool show_progress, std::span<const std::byte> already) {
  DigestResult result;
  if (show_progress && Progress::enabled() && file.is_terminal()) Progress::Disable();
  job.total.store(file.size(), std::memory_order_relaxed);
  Hasher hasher(format_.algorithm);
  hasher.Update(already);
  job.done.fetch_add(already.size(), std::memory_order_relaxed);
  auto last_shown = job.began;
  std::unique_lock<std::mutex> disk(disk_, std::defer_lock);
  for (;;) {
    const long got =
        ReadFrom(file, buffer.data(), buffer.size(), result.error, job.spinning ? &disk : nullptr);
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
    DigestResult result;
    InputFile file(job->name, result.error);
    if (file.is_open()) {
      result = Hash(*job, file, buffers_.read, true, {});
    } else {
      result.missing = file.missing();
    }
    job->result = std::move(result);
  }
  Progress::EraseShown();
  return std::move(*job->result);
}

}  // namespace quillet::tool
