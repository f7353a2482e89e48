#include "platform/NamedMutex.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

#include "platform/Path.h"

namespace platform {

namespace {

// Names may hold any character, "\" included; everything outside a safe set is written as %XX,
// so that two different names never share a file. Very long names are cut and keep a hash of
// the whole, to stay within the file system's name limit.
std::string FileNameFor(const std::string& name) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : name) {
    bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
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
  return "solane-mutex-" + encoded + ".lock";
}

}  // namespace

struct NamedMutex::Impl {
  int descriptor = -1;
  Status status = Status::Failed;
};

std::string NamedMutex::LockFilePath(const std::string& name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string folder = runtime && runtime[0] == '/' ? runtime : "/tmp";
  return JoinPath(folder, FileNameFor(name));
}

NamedMutex::NamedMutex(const std::string& name) : impl_(std::make_unique<Impl>()) {
  // Close-on-exec: the game client and a replacement launcher started from here must not
  // inherit the lock, or the next launcher would find the name taken. No symbolic links are
  // followed, since /tmp is shared with other users.
  const std::string path = LockFilePath(name);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    impl_->status = errno == EACCES || errno == EPERM || errno == ELOOP ? Status::AccessDenied : Status::Failed;
    return;
  }
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    impl_->status = errno == EWOULDBLOCK ? Status::AlreadyExists : Status::Failed;
    close(fd);
    return;
  }
  impl_->descriptor = fd;
  impl_->status = Status::Created;
}

NamedMutex::~NamedMutex() {
  // The file stays: removing it could let a third process lock a new file while a second one
  // still waits on the old one.
  if (impl_->descriptor >= 0) close(impl_->descriptor);
}

NamedMutex::Status NamedMutex::status() const { return impl_->status; }

}  // namespace platform
