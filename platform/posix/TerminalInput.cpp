#include "platform/TerminalInput.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

bool IsTerminal(int fd) { return isatty(fd) == 1; }

LineReader::ByteRead LineReader::ReadByte(char& c, uint32_t timeoutMs) {
  pollfd input{fd_, POLLIN, 0};
  const int ready = poll(&input, 1, static_cast<int>(timeoutMs));
  // An interrupted wait ends early too: the caller may have a Ctrl-C to look at.
  if (ready == 0 || (ready < 0 && errno == EINTR)) return ByteRead::Waiting;
  const ssize_t got = ready < 0 ? -1 : read(fd_, &c, 1);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return ByteRead::Waiting;
  return got <= 0 ? ByteRead::Ended : ByteRead::Got;
}

}  // namespace platform
