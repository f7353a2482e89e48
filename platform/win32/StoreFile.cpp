#include "platform/StoreFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <cwchar>

#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/win32/WideText.h"

namespace platform {

namespace {

std::string LocalTimeStamp() {
  const time_t now = time(nullptr);
  struct tm local {};
  char text[32] = "0";
  if (localtime_s(&local, &now) == 0) strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

bool Exists(const std::string& path) { return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

// Leaves in errno the reason of a failed read of `path`, as the POSIX side does, for the callers
// that name it: a folder is refused with "access denied" here.
FileReadStatus ReadFailed(const std::string& path, DWORD error) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    errno = EISDIR;
  else
    errno = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? EACCES : EIO;
  return FileReadStatus::Failed;
}

}  // namespace

FileReadStatus ReadWholeFile(const std::string& path, std::string& contents) {
  contents.clear();
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileReadStatus::Missing
                                                                          : ReadFailed(path, error);
  }
  char buffer[16384];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
      contents.clear();
      return ReadFailed(path, GetLastError());
    }
    if (got == 0) return FileReadStatus::Ok;
    contents.append(buffer, got);
  }
}

bool ReplaceFileContents(const std::string& path, std::string_view contents) {
  static std::atomic<unsigned> sequence{0};
  const std::string temporary = path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                std::to_string(sequence.fetch_add(1));
  const std::wstring wideTemporary = WidePath(temporary);
  ScopedHandle file(CreateFileW(wideTemporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
  if (!file.Valid()) return false;
  bool ok = true;
  const char* data = contents.data();
  size_t left = contents.size();
  while (ok && left > 0) {
    // A full disk can answer success with fewer bytes written: the count decides.
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(left < (1u << 24) ? left : (1u << 24));
    ok = WriteFile(file.Get(), data, piece, &written, nullptr) && written > 0;
    data += written;
    left -= written;
  }
  ok = ok && FlushFileBuffers(file.Get());
  file.Reset();
  ok = ok && MoveFileExW(wideTemporary.c_str(), WidePath(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(wideTemporary.c_str());
  return ok;
}

bool CreateFolders(const std::string& folder) {
  if (folder.empty()) return true;
  const DWORD attributes = GetFileAttributesW(WidePath(folder).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return attributes & FILE_ATTRIBUTE_DIRECTORY;
  const std::string parent = ParentOf(folder);
  // "C:" is a drive, not a folder to create.
  if (!parent.empty() && parent != folder && !(parent.size() == 2 && parent[1] == ':') && !CreateFolders(parent))
    return false;
  return CreateDirectoryW(WidePath(folder).c_str(), nullptr) || IsDirectory(folder);
}

std::string MoveFileAside(const std::string& path, std::string_view tag) {
  const std::string target = AsideName(path, tag, LocalTimeStamp(), Exists);
  if (target.empty() || !MoveFileExW(WidePath(path).c_str(), WidePath(target).c_str(), MOVEFILE_WRITE_THROUGH))
    return {};
  return target;
}

// A folder cannot be locked here, and a file lock does not keep out the threads of the same
// process: the lock is a mutex named after the path's full, case-folded form, which serialises
// threads and processes alike and which the system hands on when its holder dies.
ExclusiveFileLock::ExclusiveFileLock(const std::string& lockPath) {
  const std::wstring wide = WidePath(lockPath);
  if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) {
    ScopedHandle created(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!created.Valid()) return;
  }
  std::wstring full(32768, L'\0');
  const DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return;
  full.resize(length);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  CharUpperBuffW(full.data(), static_cast<DWORD>(full.size()));
  uint64_t hash = 1469598103934665603ull;  // FNV-1a over the UTF-16 units
  for (wchar_t unit : full) hash = (hash ^ static_cast<uint16_t>(unit)) * 1099511628211ull;
  wchar_t name[64];
  swprintf(name, 64, L"Local\\solane-lock-%016llx", static_cast<unsigned long long>(hash));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
  if (!mutex) return;
  const DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return;
  }
  descriptor_ = reinterpret_cast<intptr_t>(mutex);
}

ExclusiveFileLock::~ExclusiveFileLock() {
  if (descriptor_ == -1) return;
  const HANDLE mutex = reinterpret_cast<HANDLE>(descriptor_);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
}

bool ExclusiveFileLock::locked() const { return descriptor_ != -1; }

}  // namespace platform
