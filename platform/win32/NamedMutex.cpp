#include "platform/NamedMutex.h"

#include "platform/win32/WideText.h"

namespace platform {

struct NamedMutex::Impl {
  ScopedHandle mutex;
  Status status = Status::Failed;
};

// The session's own namespace: another user's session neither shares nor blocks the name.
std::string NamedMutex::LockFilePath(const std::string& name) { return "Local\\solane-mutex-" + EncodedName(name); }

NamedMutex::NamedMutex(const std::string& name) : impl_(std::make_unique<Impl>()) {
  // Not inherited: programs started from here do not keep the name taken.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, Widen(LockFilePath(name)).c_str());
  const DWORD error = GetLastError();
  if (!mutex) {
    if (error == ERROR_ACCESS_DENIED) impl_->status = Status::AccessDenied;
    return;
  }
  if (error == ERROR_ALREADY_EXISTS) {
    // Another holder, in this process or another, made it first.
    CloseHandle(mutex);
    impl_->status = Status::AlreadyExists;
    return;
  }
  impl_->mutex.Reset(mutex);
  impl_->status = Status::Created;
}

NamedMutex::~NamedMutex() = default;

NamedMutex::Status NamedMutex::status() const { return impl_->status; }

}  // namespace platform
