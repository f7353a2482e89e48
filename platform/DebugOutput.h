#pragma once
// The launcher's diagnostic channel, for a developer and not for the player: texts go to
// standard error, and only when the environment variable SOLANE_DEBUG_OUTPUT is set.

#include <string>

namespace platform {

void DebugOutput(const std::string& text);

}  // namespace platform
