// The engine's file operations: existence, sizes, folders, deletion, copying into place and the
// free-space test that stops the update when space runs short.

#include <cerrno>
#include <functional>

#include "patch/PatchEngine.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr uint32_t kAttributeHidden = 0x02;

}  // namespace

bool PatchEngine::PathExists(const std::string& path) { return platform::PathExists(platform::ResolvePath(path)); }

int64_t PatchEngine::FileSize(const std::string& path) {
  return platform::FileSizeOf(platform::ResolvePath(path)).value_or(-1);
}

namespace {

// Creates every missing folder along the path of a file (never the file itself). A folder that
// cannot be made is named in `why`, with the system's reason.
bool MakeFoldersAlong(const std::string& filePath, bool hidden, const std::function<bool()>& cancelled,
                      TransferFailure* why = nullptr) {
  std::string native = platform::ToNativePath(filePath);
  size_t slash = native.find('/');
  if (slash == std::string::npos) return true;
  for (slash = native.find('/', slash + 1); slash != std::string::npos; slash = native.find('/', slash + 1)) {
    if (cancelled()) return false;
    std::string prefix = platform::ResolvePath(native.substr(0, slash));
    if (platform::IsDirectory(prefix)) continue;
    if (!platform::MakeDirectory(prefix)) {
      if (why) *why = TransferFailure::LocalFile(errno, prefix);
      return false;
    }
    if (hidden) platform::SetFileAttributes(prefix, kAttributeHidden);
  }
  return true;
}

}  // namespace

// Folders made along a download path in the temporary folder are hidden, as the folder is.
bool PatchEngine::EnsureDirectories(const std::string& filePath, TransferFailure* why) {
  return MakeFoldersAlong(filePath, true, [this] { return IsCancelled(); }, why);
}

bool PatchEngine::DeletePath(const std::string& path) {
  std::string native = platform::ResolvePath(path);
  if (!platform::PathExists(native)) return true;
  return platform::RemoveTree(native);
}

bool PatchEngine::DeleteFolder(const std::string& path) { return DeletePath(path); }

bool PatchEngine::CopyIntoPlace(const std::string& source, const std::string& destination) {
  std::string from = platform::ResolvePath(source);
  std::string to = platform::ResolvePath(destination);
  std::string shownName = platform::FileNameOf(from);
  // A rename within one file system writes nothing; only a copy needs room for the file.
  const int64_t bytesWritten = platform::OnSameFileSystem(from, to) ? 0 : FileSize(from);
  if (bytesWritten > 0 && !HasDiskSpace(to, bytesWritten, true)) return false;

  SetStatusText(shownName + " " + LoadCatalogueString(kMessageCopying));
  copyIdle_ = false;
  // A file new to the installation may live in a folder that the installation does not have yet.
  bool copied = MakeFoldersAlong(to, false, [] { return false; }) &&
                platform::ReplaceFile(from, to, platform::LooksLikeProgram(from));
  copyIdle_ = true;
  SetStatusText(shownName + " " + LoadCatalogueString(copied ? kMessageCopyFinished : kMessageCopyFailed));
  DeletePath(from);  // also after a failure: the temporary folder keeps nothing stale
  return copied;
}

bool PatchEngine::HasDiskSpace(const std::string& path, int64_t bytesNeeded, bool showMessage) {
  auto freeBytes = platform::FreeDiskSpace(platform::ResolvePath(path));
  bool enough = freeBytes && static_cast<int64_t>(*freeBytes) > bytesNeeded;
  if (!enough && showMessage) {
    ShowMessage(kMessageNeedSpace, platform::kBoxOk);
    SetCancel(true);
    DisconnectSession();
  }
  return enough;
}
