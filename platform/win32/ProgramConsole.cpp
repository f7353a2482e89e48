#include "platform/ProgramConsole.h"

#include <windows.h>
#include <io.h>

#include <cstdio>

namespace platform {

namespace {

// A handle that the starting program handed over: a file, a pipe or its console.
bool HandedOver(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void Reopen(DWORD which, const char* device, const char* mode, FILE* stream) {
  if (!std::freopen(device, mode, stream)) return;
  // The system's standard handle follows the stream, for code that asks the system for it.
  SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

}  // namespace

void UseStartingConsole(bool createIfNone) {
  const bool input = HandedOver(STD_INPUT_HANDLE);
  const bool output = HandedOver(STD_OUTPUT_HANDLE);
  const bool error = HandedOver(STD_ERROR_HANDLE);
  if (input && output && error) return;
  // A window program started from a console is not attached to it until it asks.
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && !(createIfNone && AllocConsole())) return;
  if (!input) Reopen(STD_INPUT_HANDLE, "CONIN$", "r", stdin);
  if (!output) Reopen(STD_OUTPUT_HANDLE, "CONOUT$", "w", stdout);
  if (!error) Reopen(STD_ERROR_HANDLE, "CONOUT$", "w", stderr);
}

}  // namespace platform
