#include "platform/LoadableModule.h"

#include <dlfcn.h>
#include <errno.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

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

ModuleSymbol LoadModuleFromBytes(const void* bytes, std::size_t size, const std::string& name, const char* symbol) {
  ModuleSymbol found;
  // The bytes go to a file that lives only in memory and ends with the process (and is not
  // inherited by the programs it starts); the loader maps it as it would a file on disk.
  const int fd = memfd_create(name.c_str(), MFD_CLOEXEC);
  if (fd < 0) {
    found.error = name + ": " + strerror(errno);
    return found;
  }
  const char* next = static_cast<const char*>(bytes);
  for (std::size_t left = size; left > 0;) {
    const ssize_t written = write(fd, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      found.error = name + ": " + (written < 0 ? strerror(errno) : "cannot be written");
      close(fd);
      return found;
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  found = LoadModuleSymbol("/proc/self/fd/" + std::to_string(fd), symbol);
  // A loaded module keeps its own mapping of the file.
  close(fd);
  if (!found.address) found.error = name + ": " + found.error;
  return found;
}

}  // namespace platform
