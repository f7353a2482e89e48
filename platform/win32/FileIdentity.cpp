#include "platform/FileIdentity.h"

#include "platform/win32/WideText.h"

namespace platform {

namespace {

// 100-ns file times since 1601 to nanoseconds since 1970.
constexpr int64_t kUnixEpochFileTime = 116444736000000000;
int64_t Nanoseconds(int64_t fileTime) { return (fileTime - kUnixEpochFileTime) * 100; }

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information;
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandle(file.Get(), &information) ||
      !GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic))
    return std::nullopt;
  FileIdentity identity;
  identity.size = static_cast<int64_t>((uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow);
  identity.modifiedNs = Nanoseconds(basic.LastWriteTime.QuadPart);
  identity.changedNs = Nanoseconds(basic.ChangeTime.QuadPart);
  identity.device = information.dwVolumeSerialNumber;
  identity.inode = (uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  return identity;
}

int64_t WallClockNs() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return Nanoseconds(static_cast<int64_t>(FileTimeValue(now)));
}

}  // namespace platform
