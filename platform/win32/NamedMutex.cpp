#include "platform/NamedMutex.h"

#include <cstdint>

#include "platform/win32/WideText.h"

namespace platform {

namespace {

// Kernel object names may not hold "\": everything outside a safe set is written as %XX, so that
// two different names never share an object. Very long names are cut and keep a hash of the
// whole, within the system's name limit.
std::string ObjectNameFor(const std::string& name) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : name) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '_' || c == '.';
    if (safe) {
      encoded.push_back(static_cast<char>(c));
    } else {
      encoded.push_back('%');
      encoded.push_back(kDigits[c >> 4]);
      encoded.push_back(kDigits[c & 0x0f]);
    }
  }
  constexpr size_t kMaxEncoded = 200;
  if (encoded.size() > kMaxEncoded) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    encoded.resize(kMaxEncoded - 17);
    encoded.push_back('~');
    for (int shift = 60; shift >= 0; shift -= 4) encoded.push_back(kDigits[(hash >> shift) & 0x0f]);
  }
  // The session's own namespace: another user's session neither shares nor blocks the name.
  return "Local\\solane-mutex-" + encoded;
}

}  // namespace

struct NamedMutex::Impl {
  ScopedHandle mutex;
  Status status = Status::Failed;
};

std::string NamedMutex::LockFilePath(const std::string& name) { return ObjectNameFor(name); }

NamedMutex::NamedMutex(const std::string& name) : impl_(std::make_unique<Impl>()) {
  // Not inherited: programs started from here do not keep the name taken.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, Widen(ObjectNameFor(name)).c_str());
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
