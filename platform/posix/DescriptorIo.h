#pragma once
// Whole reads and writes on a file descriptor, going on after a signal interrupts them, and the
// creation of a new private file. Only open, read, write and errno: the crash handler may use
// them inside its signal handler.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace platform {

// A file made anew for this process's owner alone, for writing: an existing file or a link in
// its place is refused (EEXIST, ELOOP), so nothing planted under a name that can be guessed is
// overwritten or followed. -1 with errno on failure.
inline int CreateNewPrivateFile(const char* path) {
  return open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// False when the descriptor refuses a byte.
inline bool WriteAll(int fd, const void* data, size_t size) {
  const auto* next = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd, next, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// False when the data ends, or the read fails, before `size` bytes arrived.
inline bool ReadAll(int fd, void* data, size_t size) {
  auto* next = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t got = read(fd, next, size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    next += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace platform
