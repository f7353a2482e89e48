#pragma once
// Digests of several files computed ahead of their use by a few worker threads, handed out in
// the order the caller asks for them: the caller's steps, messages and decisions keep their
// order while the files are read side by side.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Thread.h"

class ParallelDigests {
 public:
  using Digest = std::function<std::string(const std::string& path)>;

  // One worker per processor (at most kMaxWorkers) when `workers` is 0.
  static constexpr unsigned kMaxWorkers = 8;
  static unsigned DefaultWorkers();

  // Starts digesting `paths` in their order on `workers` threads (never more than there are
  // paths; none at all for a single path, which Get then digests itself).
  ParallelDigests(std::vector<std::string> paths, unsigned workers, Digest digest);
  // Files not yet begun are left alone; the ones under way are finished (`digest` should poll
  // the caller's cancel) before the workers end.
  ~ParallelDigests();
  ParallelDigests(const ParallelDigests&) = delete;
  ParallelDigests& operator=(const ParallelDigests&) = delete;

  // The digest of paths[index], waiting for it when it is still being computed.
  std::string Get(size_t index);

 private:
  void Work();

  const std::vector<std::string> paths_;
  const Digest digest_;
  std::mutex lock_;
  std::condition_variable ready_;
  std::vector<std::optional<std::string>> results_;
  size_t next_ = 0;  // the first path no worker has taken
  bool stopping_ = false;
  std::vector<std::unique_ptr<platform::Thread>> workers_;
};
