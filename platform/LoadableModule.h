#pragma once
// Modules (shared libraries) that the program loads while it runs. A loaded module stays for the
// rest of the process: a GUI toolkit's libraries cannot be unloaded safely.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace platform {

// The file name of the module called `name` on this system ("name.so"; a DLL on Windows).
std::string ModuleFileName(std::string_view name);

// A function or object found in a module; `error` says why not when `address` is null.
struct ModuleSymbol {
  void* address = nullptr;
  std::string error;
};

// Loads the module at `path` with all its references bound at once, so that a module that does
// not fit this program fails here rather than at its first call, and finds `symbol` in it.
ModuleSymbol LoadModuleSymbol(const std::string& path, const char* symbol);

// Loads the module whose whole file is the `size` bytes at `bytes` (carried inside the program,
// so no file beside it can go missing or stay behind from another version) and finds `symbol` in
// it, as LoadModuleSymbol does. `name` names the module in errors.
ModuleSymbol LoadModuleFromBytes(const void* bytes, std::size_t size, const std::string& name, const char* symbol);

// Loads the system's library called `soname` ("libcurl.so.4", found where the system finds the
// libraries programs need), its functions bound when first called, and finds each of `symbols` in it
// into the same place of `addresses`. Empty when every one was found, else why not.
std::string LoadSystemModuleSymbols(const std::string& soname, std::span<const char* const> symbols,
                                    std::span<void*> addresses);

}  // namespace platform
