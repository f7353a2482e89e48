#include "platform/NamedMutex.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/FileLock.h"
#include "platform/Path.h"

namespace platform {

namespace {

std::string FileNameFor(const std::string& name) { return "solane-mutex-" + NamedMutex::EncodedName(name) + ".lock"; }

// The session's runtime folder, else a folder of this user's own in the temporary folder: a
// name shared with other accounts would let any of them block every launcher.
std::string LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return runtime;
  const char* temporary = std::getenv("TMPDIR");
  return JoinPath(temporary && temporary[0] == '/' ? temporary : "/tmp", "solane-" + std::to_string(geteuid()));
}

// Only this user may add, replace or remove entries there. A link is refused: in a shared
// folder anyone could have planted it.
bool IsPrivateFolder(const std::string& folder) {
  struct stat info;
  return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 022) == 0;
}

bool IsOwnFile(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid();
}

}  // namespace

struct NamedMutex::Impl {
  std::unique_ptr<FileLock> lock;
  Status status = Status::Failed;
};

std::string NamedMutex::LockFilePath(const std::string& name) { return JoinPath(LockFolder(), FileNameFor(name)); }

NamedMutex::NamedMutex(const std::string& name) : impl_(std::make_unique<Impl>()) {
  const std::string folder = LockFolder();
  mkdir(folder.c_str(), 0700);  // usually there already; the check decides
  if (!IsPrivateFolder(folder)) return;
  // The lock file stays when the holder goes: removing it could let a third process lock a new
  // file while a second one still waits on the old one.
  const std::string path = JoinPath(folder, FileNameFor(name));
  auto lock = std::make_unique<FileLock>(path);
  // A file of another account was put there by someone else; held or not, it tells nothing
  // about a launcher of ours.
  if (lock->status() == FileLock::Status::Failed || !IsOwnFile(path)) return;
  if (lock->status() == FileLock::Status::Busy) {
    impl_->status = Status::AlreadyExists;
    return;
  }
  impl_->lock = std::move(lock);
  impl_->status = Status::Created;
}

NamedMutex::~NamedMutex() = default;

NamedMutex::Status NamedMutex::status() const { return impl_->status; }

}  // namespace platform
