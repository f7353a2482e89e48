#include "platform/StoreFile.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/posix/DescriptorIo.h"

namespace platform {

namespace {

std::string FollowLink(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char target[PATH_MAX];
  if (!realpath(path.c_str(), target)) return path;  // dangling: replace the link itself
  return target;
}

std::string LocalTimeStamp() {
  time_t now = time(nullptr);
  struct tm local;
  char text[32] = "0";
  if (localtime_r(&now, &local)) strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

FileReadStatus ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? FileReadStatus::Missing : FileReadStatus::Failed;
  char buffer[16384];
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      close(fd);
      contents.clear();
      return FileReadStatus::Failed;
    }
    if (got == 0) break;
    contents.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return FileReadStatus::Ok;
}

bool ReplaceFileContents(const std::string& requestedPath, std::string_view contents) {
  static std::atomic<unsigned> sequence{0};
  const std::string path = FollowLink(requestedPath);
  const std::string temporary =
      path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(sequence.fetch_add(1));

  mode_t mode = 0666;  // narrowed by the umask for a new file
  struct stat existing;
  bool keepMode = stat(path.c_str(), &existing) == 0;
  if (keepMode) mode = existing.st_mode & 07777;

  int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, contents.data(), contents.size());
  if (ok && keepMode) ok = fchmod(fd, mode) == 0 || errno == EPERM;
  if (ok) ok = fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (ok) ok = rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  SyncFolder(ParentOf(path));
  return true;
}

bool CreateFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat info;
  if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  std::string parent = ParentOf(folder);
  if (!parent.empty() && parent != folder && !CreateFolders(parent)) return false;
  if (mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST)
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  return false;
}

std::string MoveFileAside(const std::string& path, std::string_view tag) {
  const std::string target = AsideName(path, tag, LocalTimeStamp(), Exists);
  if (target.empty() || rename(path.c_str(), target.c_str()) != 0) return {};
  SyncFolder(ParentOf(path));
  return target;
}

ExclusiveFileLock::ExclusiveFileLock(const std::string& lockPath) {
  // A folder can be locked too; it is opened read-only, since it cannot be created here.
  descriptor_ = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor_ < 0 && errno == ENOENT)
    descriptor_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (descriptor_ < 0) return;
  int result;
  do {
    result = flock(descriptor_, LOCK_EX);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    close(descriptor_);
    descriptor_ = -1;
  }
}

ExclusiveFileLock::~ExclusiveFileLock() {
  if (descriptor_ >= 0) close(descriptor_);  // closing releases the lock
}

bool ExclusiveFileLock::locked() const { return descriptor_ >= 0; }

}  // namespace platform
