#include "platform/FileIdentity.h"

#include <sys/stat.h>

#include <ctime>

namespace platform {

namespace {

int64_t Nanoseconds(const timespec& time) { return int64_t{time.tv_sec} * 1000000000 + time.tv_nsec; }

}  // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return std::nullopt;
  FileIdentity identity;
  identity.size = static_cast<int64_t>(status.st_size);
  identity.modifiedNs = Nanoseconds(status.st_mtim);
  identity.changedNs = Nanoseconds(status.st_ctim);
  identity.device = static_cast<uint64_t>(status.st_dev);
  identity.inode = static_cast<uint64_t>(status.st_ino);
  return identity;
}

int64_t WallClockNs() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now);
}

}  // namespace platform
