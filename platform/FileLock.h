#pragma once
// An exclusive lock on a named lock file, held until the object goes; the system releases it
// when the process dies.

#include <memory>
#include <string>

namespace platform {

class FileLock {
 public:
  enum class Status { Held, Busy, Failed };
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  Status status() const;

 private:
  int descriptor_ = -1;
  Status status_ = Status::Failed;
};

}  // namespace platform
