#include "platform/TerminalInput.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace platform {

bool IsTerminal(int fd) { return isatty(fd) == 1; }

LineReader::Result LineReader::ReadLine(std::string& line, uint32_t timeoutMs) {
  if (ended_) return Result::Ended;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd input{fd_, POLLIN, 0};
    const int ready = poll(&input, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    // An interrupted wait ends early too: the caller may have a Ctrl-C to look at.
    if (ready == 0 || (ready < 0 && errno == EINTR)) return Result::Waiting;
    char c = 0;
    const ssize_t got = ready < 0 ? -1 : read(fd_, &c, 1);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return Result::Waiting;
    if (got <= 0) {
      ended_ = true;
      if (partial_.empty()) return Result::Ended;
      line.swap(partial_);
      partial_.clear();
      return Result::Line;
    }
    if (c != '\n') {
      partial_.push_back(c);
      continue;
    }
    if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
    line.swap(partial_);
    partial_.clear();
    return Result::Line;
  }
}

}  // namespace platform
