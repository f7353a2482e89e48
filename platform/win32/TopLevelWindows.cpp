#include "platform/TopLevelWindows.h"

#include "platform/win32/WideText.h"

namespace platform {

bool FindTopLevelWindow(const std::string& className, const std::string& title) {
  return FindWindowW(Widen(className).c_str(), Widen(title).c_str()) != nullptr;
}

}  // namespace platform
