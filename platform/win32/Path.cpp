#include "platform/Path.h"

#include <vector>

#include "platform/FileSystem.h"
#include "platform/win32/WideText.h"

namespace platform {

namespace {

// The final path of an existing file or folder (links and junctions followed), "/"-separated,
// without the "\\?\" prefix the system gives it; empty when it cannot be opened.
std::string FinalPathOf(const std::string& path) {
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.Valid()) return {};
  std::wstring final(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(file.Get(), final.data(), static_cast<DWORD>(final.size()), 0);
  if (length >= final.size()) {
    final.resize(length + 1);
    length = GetFinalPathNameByHandleW(file.Get(), final.data(), static_cast<DWORD>(final.size()), 0);
  }
  if (length == 0 || length >= final.size()) return {};
  final.resize(length);
  if (final.rfind(L"\\\\?\\UNC\\", 0) == 0)
    final = L"\\\\" + final.substr(8);
  else if (final.rfind(L"\\\\?\\", 0) == 0)
    final = final.substr(4);
  return NarrowPath(final);
}

// Letter case does not matter to the names of Windows file systems.
bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  const std::wstring head = Widen(text.substr(0, prefix.size()));
  const std::wstring wide = Widen(prefix);
  return CompareStringOrdinal(head.c_str(), -1, wide.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

bool IsAbsolutePath(std::string_view path) {
  auto separator = [](char c) { return c == '/' || c == '\\'; };
  if (path.size() >= 3 && path[1] == ':' && separator(path[2])) return true;
  return !path.empty() && separator(path[0]);
}

bool IsFolder(const std::string& path, LookupMemo*) { return IsDirectory(path); }

// The file system itself finds names regardless of letter case.
std::string ResolvePath(std::string_view path, LookupMemo*) { return ToNativePath(path); }

bool StaysInside(const std::string& base, const std::string& path, LookupMemo*) {
  std::string root = FinalPathOf(base);
  if (root.empty()) return false;
  if (root.back() != '/') root += '/';

  const std::string native = ToNativePath(path);
  const DWORD attributes = GetFileAttributesW(WidePath(native).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  // The deepest existing ancestor decides: below it nothing exists yet, so nothing can be a link.
  std::string existing = native;
  while (!existing.empty() && GetFileAttributesW(WidePath(existing).c_str()) == INVALID_FILE_ATTRIBUTES)
    existing = ParentOf(existing);
  if (existing.empty()) return false;
  std::string resolved = FinalPathOf(existing);
  if (resolved.empty()) return false;
  if (resolved.back() != '/') resolved += '/';
  return StartsWithIgnoringCase(resolved, root);
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return NarrowPath(std::wstring_view(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
