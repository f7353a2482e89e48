#include "platform/RunningExecutable.h"

#include "platform/FileSystem.h"

namespace platform {

// A rename replaces a running program's name; the old file lives on until it ends.
bool ReplaceRunningExecutable(const std::string& replacement, const std::string& executable) {
  return ReplaceFile(replacement, executable, true);
}

void RemoveReplacedExecutables(const std::string&) {}

}  // namespace platform
