#include "platform/LoadableModule.h"

#include <windows.h>

#include <string>

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

namespace {

std::string SystemMessage(DWORD error) { return "error " + std::to_string(error); }

// The folder of the module files written from bytes, inside the user's temporary folder.
std::wstring ModuleFolder() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(temp, length) + L"SolaneModules";
}

// Removes the files that earlier runs left: a file stays mapped while its process runs and
// cannot be removed before, so each run clears what the runs that have ended left behind.
void RemoveEndedRunsFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\*.dll").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + L"\\" + entry.cFileName).c_str());
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

}  // namespace

ModuleSymbol LoadModuleFromBytes(const void* bytes, std::size_t size, const std::string& name, const char* symbol) {
  ModuleSymbol found;
  if (!bytes || size == 0) {
    found.error = name + ": this program carries no module bytes";
    return found;
  }
  // The loader maps modules only from files: the bytes go to a file of this run's own, which
  // stays while the module is loaded (for the rest of the process).
  const std::wstring folder = ModuleFolder();
  if (folder.empty() || (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)) {
    found.error = name + ": no folder for the module's file (" + SystemMessage(GetLastError()) + ")";
    return found;
  }
  RemoveEndedRunsFiles(folder);
  static LONG written = 0;
  const std::wstring file = folder + L"\\" + Widen(name) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(InterlockedIncrement(&written)) + L".dll";
  bool complete = false;
  {
    ScopedHandle out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!out.Valid()) {
      found.error = name + ": its file cannot be written (" + SystemMessage(GetLastError()) + ")";
      return found;
    }
    const char* next = static_cast<const char*>(bytes);
    complete = true;
    for (std::size_t left = size; left > 0 && complete;) {
      const DWORD piece = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
      DWORD done = 0;
      complete = WriteFile(out.Get(), next, piece, &done, nullptr) && done == piece;
      next += done;
      left -= done;
    }
  }
  if (!complete) {
    found.error = name + ": its file cannot be written (" + SystemMessage(GetLastError()) + ")";
    DeleteFileW(file.c_str());
    return found;
  }
  found = LoadModuleSymbol(NarrowPath(file), symbol);
  if (!found.address) {
    found.error = name + ": " + found.error;
    DeleteFileW(file.c_str());  // fails while a module that lacked the symbol stays mapped
  }
  return found;
}

}  // namespace platform
