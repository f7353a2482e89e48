#include "platform/TerminalInput.h"

#include <windows.h>
#include <io.h>

#include <chrono>

namespace platform {

namespace {

enum class Ready { Yes, No, Ended };

// Whether a read of one byte would return at once: a pipe is asked how much it holds, a console
// whether input waits, and a file always has its next byte or its end.
Ready Readable(HANDLE input, uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const DWORD type = GetFileType(input);
  for (;;) {
    if (type == FILE_TYPE_PIPE) {
      DWORD available = 0;
      if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) return Ready::Ended;  // closed
      if (available > 0) return Ready::Yes;
    } else if (type == FILE_TYPE_CHAR) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      return WaitForSingleObject(input, left.count() > 0 ? static_cast<DWORD>(left.count()) : 0) == WAIT_OBJECT_0
                 ? Ready::Yes
                 : Ready::No;
    } else {
      return Ready::Yes;
    }
    if (std::chrono::steady_clock::now() >= deadline) return Ready::No;
    Sleep(10);
  }
}

}  // namespace

bool IsTerminal(int fd) { return _isatty(fd) != 0; }

LineReader::Result LineReader::ReadLine(std::string& line, uint32_t timeoutMs) {
  if (ended_) return Result::Ended;
  const HANDLE input = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const Ready ready = input == INVALID_HANDLE_VALUE ? Ready::Ended
                                                      : Readable(input, left.count() > 0 ? static_cast<uint32_t>(left.count()) : 0);
    if (ready == Ready::No) return Result::Waiting;
    char c = 0;
    const int got = ready == Ready::Ended ? 0 : _read(fd_, &c, 1);
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
