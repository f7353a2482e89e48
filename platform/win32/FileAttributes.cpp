#include "platform/FileAttributes.h"

#include "platform/win32/WideText.h"

namespace platform {

namespace {

constexpr uint32_t kKeptBits = kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive;

}  // namespace

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  const DWORD bits = attributes & kKeptBits;
  return SetFileAttributesW(WidePath(path).c_str(), bits ? bits : FILE_ATTRIBUTE_NORMAL) != 0;
}

std::optional<uint32_t> GetFileAttributes(const std::string& path) {
  const DWORD bits = GetFileAttributesW(WidePath(path).c_str());
  if (bits == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  const uint32_t kept = bits & (kKeptBits | kAttributeDirectory);
  return kept ? kept : kAttributeNormal;
}

bool SetFileTimes(const std::string& path, uint64_t accessTime, uint64_t writeTime) {
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return false;
  auto toFileTime = [](uint64_t value) {
    return FILETIME{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
  };
  const FILETIME access = toFileTime(accessTime);
  const FILETIME write = toFileTime(writeTime);
  // A null pointer leaves that time as it is.
  return SetFileTime(file.Get(), nullptr, accessTime ? &access : nullptr, writeTime ? &write : nullptr) != 0;
}

}  // namespace platform
