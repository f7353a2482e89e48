#include "platform/FileSystem.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Path.h"
#include "platform/posix/DescriptorIo.h"

namespace platform {

namespace {

std::mutex freeSpaceLock;
std::function<std::optional<uint64_t>(const std::string&)> freeSpaceOverride;

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path) == 0 ? 0 : -1; }

// Copies into `temporary` (created new) with its final mode and syncs it.
bool CopyToNewFile(const std::string& source, const std::string& temporary, mode_t mode) {
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  int out = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (out < 0) {
    close(in);
    return false;
  }
  std::vector<char> buffer(1 << 20);
  bool ok = true;
  while (ok) {
    ssize_t got = read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = WriteAll(out, buffer.data(), static_cast<size_t>(got));
  }
  ok = ok && fchmod(out, mode) == 0;  // the creation mode went through the umask
  ok = ok && fsync(out) == 0;
  ok = close(out) == 0 && ok;
  close(in);
  if (!ok) unlink(temporary.c_str());
  return ok;
}

// A crash right after a rename must find the new name with its data and its mode: a program
// that lost its execute bit would never run, and is never downloaded again since its data is
// right.
bool FlushWithMode(const std::string& path, mode_t mode) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool ok = fchmod(fd, mode) == 0 && fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace

bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<int64_t> FileSizeOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  return static_cast<int64_t>(info.st_size);
}

bool MakeDirectory(const std::string& path) {
  if (mkdir(path.c_str(), 0755) == 0) return true;
  const int error = errno;  // not the test's own
  if (IsDirectory(path)) return true;
  errno = error;
  return false;
}

bool CutOpenFile(std::FILE* file, int64_t size) {
  return std::fflush(file) == 0 && ftruncate(fileno(file), size) == 0 && fseeko(file, size, SEEK_SET) == 0;
}

bool SeekOpenFile(std::FILE* file, int64_t offset) { return fseeko(file, offset, SEEK_SET) == 0; }

int64_t OpenFileLength(std::FILE* file) {
  if (fseeko(file, 0, SEEK_END) != 0) return -1;
  return ftello(file);
}

bool RemoveTree(const std::string& path) {
  if (!PathExists(path)) return true;
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) return unlink(path.c_str()) == 0;
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  return !PathExists(path);
}

std::optional<uint64_t> FreeDiskSpace(const std::string& path) {
  {
    std::lock_guard<std::mutex> guard(freeSpaceLock);
    if (freeSpaceOverride) return freeSpaceOverride(path);
  }
  std::string probe = path.empty() ? "." : path;
  while (!PathExists(probe)) {
    std::string parent = ParentOf(probe);
    if (parent.empty()) {
      probe = probe[0] == '/' ? "/" : ".";
      break;
    }
    probe = parent;
  }
  struct statvfs info;
  if (statvfs(probe.c_str(), &info) != 0) return std::nullopt;
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

void SetFreeDiskSpaceForTesting(std::function<std::optional<uint64_t>(const std::string&)> query) {
  std::lock_guard<std::mutex> guard(freeSpaceLock);
  freeSpaceOverride = std::move(query);
}

bool ReadFileInPieces(const std::string& path, size_t pieceSize, const std::function<bool()>& cancelled,
                      const std::function<bool(const uint8_t* piece, size_t size)>& consume) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[pieceSize]);
  bool complete = false;
  for (;;) {
    if (cancelled && cancelled()) break;
    const ssize_t got = read(fd, buffer.get(), pieceSize);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) break;  // a folder, an I/O fault
    if (got == 0 || !consume(buffer.get(), static_cast<size_t>(got))) {
      complete = true;
      break;
    }
  }
  close(fd);
  return complete;
}

bool LooksLikeProgram(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char head[4] = {};
  ssize_t got = read(fd, head, sizeof(head));
  close(fd);
  if (got >= 4 && std::memcmp(head, "\x7f" "ELF", 4) == 0) return true;
  return got >= 2 && head[0] == '#' && head[1] == '!';
}

bool CopyFileTo(const std::string& source, const std::string& destination, bool programMode) {
  unlink(destination.c_str());
  return CopyToNewFile(source, destination, programMode ? 0755 : 0644) && SyncFolder(ParentOf(destination));
}

bool SyncFolder(const std::string& folder) {
  int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  // Some file systems cannot sync a folder at all; they have nothing more to flush then.
  bool ok = fsync(fd) == 0 || errno == EINVAL;
  close(fd);
  return ok;
}

bool OnSameFileSystem(const std::string& path, const std::string& other) {
  auto deviceOf = [](std::string probe) -> std::optional<dev_t> {
    struct stat info;
    while (stat(probe.c_str(), &info) != 0) {
      if (probe.empty() || probe == "/") return std::nullopt;
      probe = ParentOf(probe);
      if (probe.empty()) probe = "/";
    }
    return info.st_dev;
  };
  const std::optional<dev_t> first = deviceOf(path);
  return first && first == deviceOf(other);
}

bool MakeExecutable(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  // Execute wherever read is allowed, as a compiler's output would have it.
  const mode_t readBits = info.st_mode & 0444;
  return chmod(path.c_str(), (info.st_mode & 07777) | (readBits >> 2)) == 0;
}

bool ReplaceFile(const std::string& source, const std::string& destination, bool programMode) {
  const mode_t mode = programMode ? 0755 : 0644;
  if (!FlushWithMode(source, mode)) return false;
  if (rename(source.c_str(), destination.c_str()) == 0) return SyncFolder(ParentOf(destination));
  if (errno != EXDEV) return false;
  std::string temporary = destination + ".solane-new";
  unlink(temporary.c_str());
  if (!CopyToNewFile(source, temporary, mode)) return false;
  if (rename(temporary.c_str(), destination.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return SyncFolder(ParentOf(destination));
}

std::FILE* OpenFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

}  // namespace platform
