#include "platform/DebugOutput.h"

#include <cstdio>
#include <cstdlib>

#include "platform/win32/WideText.h"

namespace platform {

void DebugOutput(const std::string& text) {
  if (!std::getenv("SOLANE_DEBUG_OUTPUT")) return;
  std::fprintf(stderr, "%s\n", text.c_str());
  OutputDebugStringW(Widen(text + "\n").c_str());  // for a debugger, too
}

}  // namespace platform
