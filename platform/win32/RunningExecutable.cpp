#include "platform/RunningExecutable.h"

#include "platform/DirectoryList.h"
#include "platform/Path.h"
#include "platform/win32/WideText.h"

namespace platform {

namespace {

// "<name>.replaced-<n>" beside the program: the old programs set aside.
constexpr char kAsideTag[] = ".replaced-";

bool IsAsideOf(const std::string& name, const std::string& program) {
  const std::string prefix = program + kAsideTag;
  return name.size() > prefix.size() && CompareStringOrdinal(Widen(name.substr(0, prefix.size())).c_str(), -1,
                                                             Widen(prefix).c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool ReplaceRunningExecutable(const std::string& replacement, const std::string& executable) {
  const std::wstring source = WidePath(replacement);
  const std::wstring target = WidePath(executable);
  {
    ScopedHandle file(CreateFileW(source.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid() || !FlushFileBuffers(file.Get())) return false;
  }
  // A running program's file can be renamed but neither overwritten nor deleted: it goes aside
  // under a name no other replacement uses.
  std::wstring aside;
  const DWORD attributes = GetFileAttributesW(target.c_str());
  // A folder under the program's name is no program to set aside: the replacement fails, as a
  // rename over it does elsewhere.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    for (unsigned counter = GetTickCount() % 100000;; ++counter) {
      aside = WidePath(executable + kAsideTag + std::to_string(counter));
      if (MoveFileExW(target.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) break;
      if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
  }
  if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    if (!aside.empty()) MoveFileExW(aside.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
    return false;
  }
  if (!aside.empty()) DeleteFileW(aside.c_str());  // fails while the old program runs
  return true;
}

void RemoveReplacedExecutables(const std::string& executable) {
  const std::string folder = ParentOf(executable);
  const std::optional<std::vector<std::string>> names = ListFileNames(folder.empty() ? "." : folder);
  if (!names) return;
  for (const std::string& name : *names)
    if (IsAsideOf(name, FileNameOf(executable))) DeleteFileW(WidePath(JoinPath(folder, name)).c_str());
}

}  // namespace platform
