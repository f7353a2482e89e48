#pragma once
// A named mutex that tells whether another process of the same user already holds the same
// name, as the launcher uses it to run only once. It is held for the life of the object and
// released by the system when the holding process ends, however it ends; programs this process
// starts do not inherit it. Names belong to the user: another account can neither share nor
// block them.

#include <memory>
#include <string>

namespace platform {

class NamedMutex {
 public:
  // Created: this object now holds the name. AlreadyExists: another holder has it (another
  // process, or another NamedMutex object of this process). AccessDenied: the name belongs to
  // someone this process may not share it with (never on POSIX, where names are per user).
  // Failed: the name could not be tried, or what stands for it was not made by this user; the
  // caller goes on without the mutex.
  enum class Status { Created, AlreadyExists, AccessDenied, Failed };

  explicit NamedMutex(const std::string& name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  Status status() const;
  bool held() const { return status() == Status::Created; }

  // The file that stands for `name` in the current environment: in $XDG_RUNTIME_DIR, else in
  // "solane-<user id>" (made private to the user) in $TMPDIR or /tmp; on Windows the kernel
  // object's name in the session's namespace. For tests and diagnostics.
  static std::string LockFilePath(const std::string& name);

  // `name` in characters safe in a file name and in a kernel object's name ("\" is not): all
  // else as %XX, so that two different names never meet; a very long name is cut and keeps a
  // hash of the whole, within the systems' name limits.
  static std::string EncodedName(const std::string& name);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
