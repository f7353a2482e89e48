#include "tests/support/TemporaryFolder.h"

#include <atomic>

#include "platform/win32/WideText.h"

std::string MakeTemporaryFolder() {
  static std::atomic<unsigned> sequence{0};
  wchar_t temporary[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
  if (length == 0 || length > MAX_PATH) return {};
  const std::string base = platform::NarrowPath(std::wstring_view(temporary, length));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string folder = base + "solane-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                               std::to_string(GetTickCount()) + "-" + std::to_string(sequence++);
    if (CreateDirectoryW(platform::WidePath(folder).c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
}
