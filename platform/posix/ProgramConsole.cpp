#include "platform/ProgramConsole.h"

namespace platform {

// A POSIX program always has the streams its starter gave it.
void UseStartingConsole(bool) {}

}  // namespace platform
