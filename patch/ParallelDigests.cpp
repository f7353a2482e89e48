#include "patch/ParallelDigests.h"

#include <algorithm>
#include <thread>

unsigned ParallelDigests::DefaultWorkers() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers);
}

ParallelDigests::ParallelDigests(std::vector<std::string> paths, unsigned workers, Digest digest)
    : paths_(std::move(paths)), digest_(std::move(digest)), results_(paths_.size()) {
  if (workers == 0) workers = DefaultWorkers();
  // A thread for a single file would only add its own start to the wait.
  const size_t count = paths_.size() > 1 ? std::min<size_t>(workers, paths_.size()) : 0;
  for (size_t i = 0; i < count; ++i) {
    // Workers run at the priority of the thread that made them: the sequence's lowest.
    workers_.push_back(std::make_unique<platform::Thread>([this] { Work(); }));
    workers_.back()->Resume();
  }
}

ParallelDigests::~ParallelDigests() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = true;
  }
  for (auto& worker : workers_) worker->Wait();
}

void ParallelDigests::Work() {
  while (true) {
    size_t index;
    {
      std::lock_guard<std::mutex> guard(lock_);
      if (stopping_ || next_ >= paths_.size()) return;
      index = next_++;
    }
    std::string digest = digest_(paths_[index]);
    {
      std::lock_guard<std::mutex> guard(lock_);
      results_[index] = std::move(digest);
    }
    ready_.notify_all();
  }
}

std::string ParallelDigests::Get(size_t index) {
  if (index >= paths_.size()) return {};
  if (workers_.empty()) return digest_(paths_[index]);
  std::unique_lock<std::mutex> guard(lock_);
  ready_.wait(guard, [&] { return results_[index].has_value(); });
  return *results_[index];
}
