#include "platform/FileLock.h"

#include <cerrno>

#include "platform/win32/WideText.h"

namespace platform {

struct FileLock::Impl {
  ScopedHandle file;
  Status status = Status::Failed;
  int error = 0;
};

FileLock::FileLock(const std::string& path) : impl_(std::make_unique<Impl>()) {
  // Handles are not inherited unless asked for, so the game client and a replacement launcher
  // never hold the lock after this process ends. A reparse point in the lock file's place (a
  // link) is opened as itself and refused.
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file.Valid()) {
    impl_->error = static_cast<int>(GetLastError());
    return;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (GetFileInformationByHandle(file.Get(), &information) &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    impl_->error = ELOOP;
    return;
  }
  OVERLAPPED whole{};
  if (!LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole)) {
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING)
      impl_->status = Status::Busy;
    else
      impl_->error = static_cast<int>(error);
    return;
  }
  impl_->file.Reset(file.Release());
  impl_->status = Status::Held;
}

FileLock::~FileLock() = default;  // closing the handle releases the lock

FileLock::Status FileLock::status() const { return impl_->status; }

int FileLock::error() const { return impl_->error; }

}  // namespace platform
