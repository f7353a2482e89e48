#pragma once
// Whole reads and writes on a file descriptor, going on after a signal interrupts them. Only
// read, write and errno: the crash handler may use them inside its signal handler.

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace platform {

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
