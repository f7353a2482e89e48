#pragma once
// An exclusive lock on a lock file, as a launcher holds its installation folder for the whole of
// an update so that a second launcher cannot change the same files meanwhile. It is taken without
// waiting, held for the life of the object and released by the system when the holding process
// ends, however it ends; programs this process starts do not inherit it.

#include <memory>
#include <string>

namespace platform {

class FileLock {
 public:
  // Held: this object holds the lock. Busy: another holder has it (another process, or another
  // FileLock object of this process on the same file). Failed: the lock file could not be
  // opened or locked; error() tells why.
  enum class Status { Held, Busy, Failed };

  // Creates the lock file when it is missing and never removes it; a symbolic link in its place
  // is refused (Failed with ELOOP), and so is anything but a regular file (EISDIR for a folder,
  // EINVAL for a FIFO, socket or device), without waiting.
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  Status status() const;
  bool held() const { return status() == Status::Held; }
  // The system's error number when Failed, else 0.
  int error() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
