#include "platform/WindowsProgram.h"

#include "platform/FileSystem.h"
#include "platform/Process.h"

namespace platform {

// On Windows every program starts as it is: no Wine stands between.
bool IsWindowsProgram(const std::string& path) { return LooksLikeProgram(path); }

std::string WineProgram() { return {}; }

std::string WinePrefix() { return {}; }

int StartProgramOrThroughWine(const std::string& directory, const std::string& file, const std::string& parameters) {
  return StartProgram(directory, file, parameters);
}

}  // namespace platform
