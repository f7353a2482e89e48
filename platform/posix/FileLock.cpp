#include "platform/FileLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

FileLock::FileLock(const std::string& path) {
  descriptor_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (descriptor_ < 0) return;
  int result;
  do {
    result = flock(descriptor_, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    status_ = Status::Held;
    return;
  }
  status_ = errno == EWOULDBLOCK ? Status::Busy : Status::Failed;
  close(descriptor_);
  descriptor_ = -1;
}

FileLock::~FileLock() {
  if (descriptor_ >= 0) close(descriptor_);
}

FileLock::Status FileLock::status() const { return status_; }

}  // namespace platform
