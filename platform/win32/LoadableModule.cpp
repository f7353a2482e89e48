#include "platform/LoadableModule.h"

#include <windows.h>

#include "platform/win32/WideText.h"

namespace platform {

std::string ModuleFileName(std::string_view name) { return std::string(name) + ".dll"; }

ModuleSymbol LoadModuleSymbol(const std::string& path, const char* symbol) {
  ModuleSymbol found;
  // A bare name would be looked up along the DLL search path instead.
  if (path.find_first_of("/\\") == std::string::npos) {
    found.error = path + ": not a path";
    return found;
  }
  HMODULE module = LoadLibraryExW(WidePath(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) {
    found.error = path + ": cannot be loaded (error " + std::to_string(GetLastError()) + ")";
    return found;
  }
  found.address = reinterpret_cast<void*>(GetProcAddress(module, symbol));
  if (!found.address) found.error = path + ": " + symbol + " is missing";
  return found;
}

}  // namespace platform
