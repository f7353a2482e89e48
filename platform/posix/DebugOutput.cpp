#include "platform/DebugOutput.h"

#include <unistd.h>

#include <cstdlib>

namespace platform {

void DebugOutput(const std::string& text) {
  if (!std::getenv("SOLANE_DEBUG_OUTPUT")) return;
  // One write per text, so lines of two threads do not interleave.
  (void)!write(STDERR_FILENO, text.data(), text.size());
}

}  // namespace platform
