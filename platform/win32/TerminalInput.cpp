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

LineReader::ByteRead LineReader::ReadByte(char& c, uint32_t timeoutMs) {
  const HANDLE input = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
  const Ready ready = input == INVALID_HANDLE_VALUE ? Ready::Ended : Readable(input, timeoutMs);
  if (ready == Ready::No) return ByteRead::Waiting;
  const int got = ready == Ready::Ended ? 0 : _read(fd_, &c, 1);
  return got <= 0 ? ByteRead::Ended : ByteRead::Got;
}

}  // namespace platform
