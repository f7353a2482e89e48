#include "platform/LoadableModule.h"

#include <dlfcn.h>
#include <errno.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

std::string ModuleFileName(std::string_view name) { return std::string(name) + ".so"; }

namespace {

// The module at `file` (a path, or a library name the system looks up), or null with `error` set.
void* OpenModule(const std::string& file, int binding, std::string& error) {
  void* module = dlopen(file.c_str(), binding | RTLD_LOCAL);
  if (!module) {
    const char* reason = dlerror();
    error = reason ? reason : file + ": cannot be loaded";
  }
  return module;
}

void* FindSymbol(void* module, const std::string& file, const char* symbol, std::string& error) {
  dlerror();
  void* address = dlsym(module, symbol);
  if (!address) {
    const char* reason = dlerror();
    error = reason ? reason : file + ": " + symbol + " is missing";
  }
  return address;
}

}  // namespace

ModuleSymbol LoadModuleSymbol(const std::string& path, const char* symbol) {
  ModuleSymbol found;
  // A path without a separator would be looked up on the library path instead.
  if (path.find('/') == std::string::npos) {
    found.error = path + ": not a path";
    return found;
  }
  if (void* module = OpenModule(path, RTLD_NOW, found.error)) found.address = FindSymbol(module, path, symbol, found.error);
  return found;
}

std::string LoadSystemModuleSymbols(const std::string& soname, std::span<const char* const> symbols,
                                    std::span<void*> addresses) {
  if (symbols.size() != addresses.size()) return soname + ": as many places as symbols are needed";
  // A system library fits the system: its functions are bound at their first call, which spares
  // binding the thousands in its chain (libcurl's) that a run never calls.
  std::string error;
  void* module = OpenModule(soname, RTLD_LAZY, error);
  for (std::size_t i = 0; module && i < symbols.size() && error.empty(); ++i)
    addresses[i] = FindSymbol(module, soname, symbols[i], error);
  return error;
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
