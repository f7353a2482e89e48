#include "platform/FileAttributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

constexpr const char* kDosAttributeName = "user.DOSATTRIB";
constexpr uint32_t kDosOnlyBits = kAttributeHidden | kAttributeSystem | kAttributeArchive;
constexpr mode_t kAllWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// Stores or removes the hidden/system/archive bits. A file system without user extended
// attributes simply cannot keep them, which is not a failure of the caller's operation.
void WriteDosBits(const std::string& path, uint32_t bits) {
  if (bits == 0) {
    removexattr(path.c_str(), kDosAttributeName);
    return;
  }
  char text[16];
  int length = std::snprintf(text, sizeof text, "0x%x", bits);
  setxattr(path.c_str(), kDosAttributeName, text, static_cast<size_t>(length), 0);
}

uint32_t ReadDosBits(const std::string& path) {
  char text[64];
  ssize_t length = getxattr(path.c_str(), kDosAttributeName, text, sizeof text - 1);
  if (length < 3) return 0;
  text[length] = '\0';
  if (text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return 0;
  return static_cast<uint32_t>(std::strtoul(text + 2, nullptr, 16)) & kDosOnlyBits;
}

}  // namespace

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  mode_t mode = info.st_mode & 07777;
  mode_t wanted = (attributes & kAttributeReadOnly) ? (mode & ~kAllWriteBits) : (mode | S_IWUSR);

  // Writing a user extended attribute needs write permission, so the owner's write bit is
  // given back before it and the read-only state applied after it.
  if (!(mode & S_IWUSR) && chmod(path.c_str(), mode | S_IWUSR) != 0) return false;
  WriteDosBits(path, attributes & kDosOnlyBits);
  return chmod(path.c_str(), wanted) == 0;
}

std::optional<uint32_t> GetFileAttributes(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  uint32_t attributes = ReadDosBits(path);
  if (S_ISDIR(info.st_mode)) attributes |= kAttributeDirectory;
  if (!(info.st_mode & S_IWUSR)) attributes |= kAttributeReadOnly;
  return attributes == 0 ? kAttributeNormal : attributes;
}

bool SetFileTimes(const std::string& path, uint64_t accessTime, uint64_t writeTime) {
  struct timespec times[2];
  times[0] = accessTime ? FileTimeToTimespec(accessTime) : timespec{0, UTIME_OMIT};
  times[1] = writeTime ? FileTimeToTimespec(writeTime) : timespec{0, UTIME_OMIT};
  return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace platform
