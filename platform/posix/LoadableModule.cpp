#include "platform/LoadableModule.h"

#include <dlfcn.h>

namespace platform {

std::string ModuleFileName(std::string_view name) { return std::string(name) + ".so"; }

ModuleSymbol LoadModuleSymbol(const std::string& path, const char* symbol) {
  ModuleSymbol found;
  // A path without a separator would be looked up on the library path instead.
  if (path.find('/') == std::string::npos) {
    found.error = path + ": not a path";
    return found;
  }
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* reason = dlerror();
    found.error = reason ? reason : path + ": cannot be loaded";
    return found;
  }
  dlerror();
  found.address = dlsym(module, symbol);
  if (!found.address) {
    const char* reason = dlerror();
    found.error = reason ? reason : path + ": " + symbol + " is missing";
  }
  return found;
}

}  // namespace platform
