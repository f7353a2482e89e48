#include "platform/FileSystem.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Path.h"
#include "platform/win32/WideText.h"

namespace platform {

namespace {

std::mutex freeSpaceLock;
std::function<std::optional<uint64_t>(const std::string&)> freeSpaceOverride;

DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(WidePath(path).c_str()); }

// Writes all of `size` bytes: a full disk can answer success with fewer bytes written.
bool WriteAllTo(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1 << 24));
    DWORD written = 0;
    if (!WriteFile(file, data, piece, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

// Copies into `temporary` (created new) and flushes it to disk.
bool CopyToNewFile(const std::string& source, const std::string& temporary) {
  ScopedHandle in(CreateFileW(WidePath(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!in.Valid()) return false;
  ScopedHandle out(CreateFileW(WidePath(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.Valid()) return false;
  std::vector<char> buffer(1 << 20);
  bool ok = true;
  while (ok) {
    DWORD got = 0;
    if (!ReadFile(in.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    ok = WriteAllTo(out.Get(), buffer.data(), got);
  }
  ok = ok && FlushFileBuffers(out.Get());
  out.Reset();
  if (!ok) DeleteFileW(WidePath(temporary).c_str());
  return ok;
}

bool FlushFile(const std::string& path) {
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() && FlushFileBuffers(file.Get());
}

// Removes a file even when it is read-only, as an installation's files often are.
bool RemoveFile(const std::string& path) {
  const std::wstring wide = WidePath(path);
  if (DeleteFileW(wide.c_str())) return true;
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
  return DeleteFileW(wide.c_str()) != 0;
}

void RemoveContents(const std::string& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW(WidePath(JoinPath(folder, "*")).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = Narrow(entry.cFileName);
    if (name == "." || name == "..") continue;
    const std::string path = JoinPath(folder, name);
    // A link to a folder (a junction) goes itself; what it points to stays.
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      RemoveContents(path);
      RemoveDirectoryW(WidePath(path).c_str());
    } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      RemoveDirectoryW(WidePath(path).c_str());
    } else {
      RemoveFile(path);
    }
  } while (FindNextFileW(find, &entry));
  FindClose(find);
}

std::string ExistingAncestor(const std::string& path) {
  std::string probe = path.empty() ? "." : path;
  while (!PathExists(probe)) {
    std::string parent = ParentOf(probe);
    if (parent.empty()) return ".";
    probe = parent;
  }
  return probe;
}

// The volume that holds `path`: the root of its mount point, as the system names it.
std::wstring VolumeOf(const std::string& path) {
  std::wstring full(MAX_PATH + 1, L'\0');
  const std::wstring wide = WidePath(ExistingAncestor(path));
  DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return {};
  std::wstring volume(MAX_PATH + 1, L'\0');
  if (!GetVolumePathNameW(full.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) return {};
  volume.resize(wcslen(volume.c_str()));
  return volume;
}

}  // namespace

bool PathExists(const std::string& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<int64_t> FileSizeOf(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::nullopt;
  return static_cast<int64_t>((uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryW(WidePath(path).c_str(), nullptr) || IsDirectory(path);
}

bool RemoveTree(const std::string& path) {
  const DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return RemoveFile(path);
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) RemoveContents(path);
  RemoveDirectoryW(WidePath(path).c_str());
  return !PathExists(path);
}

std::optional<uint64_t> FreeDiskSpace(const std::string& path) {
  {
    std::lock_guard<std::mutex> guard(freeSpaceLock);
    if (freeSpaceOverride) return freeSpaceOverride(path);
  }
  // What the caller may use, quotas included, rather than the volume's total free space.
  // The system asks a folder, not a file.
  std::string folder = ExistingAncestor(path);
  if (!IsDirectory(folder)) folder = ParentOf(folder).empty() ? "." : ParentOf(folder);
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(WidePath(folder).c_str(), &available, nullptr, nullptr))
    return std::nullopt;
  return available.QuadPart;
}

void SetFreeDiskSpaceForTesting(std::function<std::optional<uint64_t>(const std::string&)> query) {
  std::lock_guard<std::mutex> guard(freeSpaceLock);
  freeSpaceOverride = std::move(query);
}

bool ReadFileInPieces(const std::string& path, size_t pieceSize, const std::function<bool()>& cancelled,
                      const std::function<bool(const uint8_t* piece, size_t size)>& consume) {
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) return false;
  const std::unique_ptr<uint8_t[]> buffer(new uint8_t[pieceSize]);
  const DWORD request = static_cast<DWORD>(std::min<size_t>(pieceSize, MAXDWORD));
  for (;;) {
    if (cancelled && cancelled()) return false;
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer.get(), request, &got, nullptr)) return false;
    if (got == 0 || !consume(buffer.get(), got)) return true;
  }
}

bool LooksLikeProgram(const std::string& path) {
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (!file.Valid()) return false;
  unsigned char head[2] = {};
  DWORD got = 0;
  return ReadFile(file.Get(), head, sizeof head, &got, nullptr) && got == 2 && head[0] == 'M' && head[1] == 'Z';
}

bool CopyFileTo(const std::string& source, const std::string& destination, bool) {
  RemoveFile(destination);
  return CopyToNewFile(source, destination);
}

// The system flushes a folder's names with the files' metadata; a folder cannot be flushed
// on its own.
bool SyncFolder(const std::string& folder) { return IsDirectory(folder.empty() ? "." : folder); }

bool OnSameFileSystem(const std::string& path, const std::string& other) {
  const std::wstring first = VolumeOf(path);
  return !first.empty() && CompareStringOrdinal(first.c_str(), -1, VolumeOf(other).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// Whether a file may run is not a property of the file here.
bool MakeExecutable(const std::string& path) { return PathExists(path); }

bool ReplaceFile(const std::string& source, const std::string& destination, bool) {
  if (!FlushFile(source)) return false;
  const std::wstring target = WidePath(destination);
  // A read-only destination would refuse to be replaced.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (MoveFileExW(WidePath(source).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
  const std::string temporary = destination + ".solane-new";
  RemoveFile(temporary);
  if (!CopyToNewFile(source, temporary)) return false;
  if (!MoveFileExW(WidePath(temporary).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    RemoveFile(temporary);
    return false;
  }
  return true;
}

bool CutOpenFile(std::FILE* file, int64_t size) {
  return std::fflush(file) == 0 && _chsize_s(_fileno(file), size) == 0 && _fseeki64(file, size, SEEK_SET) == 0;
}

bool SeekOpenFile(std::FILE* file, int64_t offset) { return _fseeki64(file, offset, SEEK_SET) == 0; }

int64_t OpenFileLength(std::FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
  return _ftelli64(file);
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  const std::string_view text(mode);
  if (text.find('x') == std::string_view::npos) return _wfopen(WidePath(path).c_str(), Widen(text).c_str());
  // The C library of older systems does not know "x": the file is created here, only when new.
  ScopedHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_WRITE | (text.find('+') != std::string_view::npos ? GENERIC_READ : 0),
                                FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), text.find('b') != std::string_view::npos ? _O_BINARY : 0);
  if (descriptor < 0) return nullptr;
  file.Release();
  std::string plain;
  for (char c : text)
    if (c != 'x') plain += c;
  std::FILE* stream = _fdopen(descriptor, plain.c_str());
  if (!stream) _close(descriptor);
  return stream;
}

}  // namespace platform
