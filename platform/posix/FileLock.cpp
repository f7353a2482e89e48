#include "platform/FileLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

struct FileLock::Impl {
  int descriptor = -1;
  Status status = Status::Failed;
  int error = 0;
};

FileLock::FileLock(const std::string& path) : impl_(std::make_unique<Impl>()) {
  // Read-only is enough for flock, and lets a lock file that another account made readable
  // still be taken. Close-on-exec keeps the game client and a replacement launcher from holding
  // the lock after this process ends.
  // Non-blocking: a FIFO in the lock file's place must not hang the open.
  int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) {
    impl_->error = errno;
    return;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    impl_->error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    close(fd);
    return;
  }
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK) {
      impl_->status = Status::Busy;
    } else {
      impl_->error = error;
    }
    return;
  }
  impl_->descriptor = fd;
  impl_->status = Status::Held;
}

FileLock::~FileLock() {
  if (impl_->descriptor >= 0) close(impl_->descriptor);  // closing releases the lock
}

FileLock::Status FileLock::status() const { return impl_->status; }

int FileLock::error() const { return impl_->error; }

}  // namespace platform
