#pragma once
// A system-wide named mutex that tells whether another process already holds the same name, as
// the launcher uses it to run only once. It is held for the life of the object and released by
// the system when the holding process ends, however it ends.

#include <memory>
#include <string>

namespace platform {

class NamedMutex {
 public:
  // Created: this object now holds the name. AlreadyExists: another holder has it (another
  // process, or another NamedMutex object of this process). AccessDenied: the name belongs to
  // someone this process may not share it with. Failed: the name could not be tried.
  enum class Status { Created, AlreadyExists, AccessDenied, Failed };

  explicit NamedMutex(const std::string& name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  Status status() const;
  bool held() const { return status() == Status::Created; }

  // The file that stands for `name` in the current environment; for tests and diagnostics.
  static std::string LockFilePath(const std::string& name);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
