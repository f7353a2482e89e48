#include "platform/DirectoryList.h"

#include "platform/Path.h"
#include "platform/win32/WideText.h"

namespace platform {

std::optional<std::vector<std::string>> ListFileNames(const std::string& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(WidePath(JoinPath(folder.empty() ? "." : folder, "*")).c_str(), &entry);
  // A drive's root has no "." and ".." entries: when empty, nothing at all is found.
  if (find == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_FILE_NOT_FOUND ? std::optional(std::vector<std::string>{}) : std::nullopt;
  std::vector<std::string> names;
  do {
    if (!(entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
      names.push_back(Narrow(entry.cFileName));
  } while (FindNextFileW(find, &entry));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(find);
  if (!complete) return std::nullopt;
  return names;
}

}  // namespace platform
