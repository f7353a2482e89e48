// The engine's file operations: existence, sizes, folders, deletion, copying into place and the
// free-space test that stops the update when space runs short.

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

bool PatchEngine::EnsureDirectories(const std::string& filePath) {
  std::string native = platform::ToNativePath(filePath);
  size_t slash = native.find('/');
  if (slash == std::string::npos) return true;
  // Every folder on the way exists afterwards; the last component, the file, is never created.
  for (slash = native.find('/', slash + 1); slash != std::string::npos; slash = native.find('/', slash + 1)) {
    if (IsCancelled()) return false;
    std::string prefix = platform::ResolvePath(native.substr(0, slash));
    if (platform::IsDirectory(prefix)) continue;
    if (!platform::MakeDirectory(prefix)) return false;
    platform::SetFileAttributes(prefix, kAttributeHidden);
  }
  return true;
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
  if (!HasDiskSpace(to, FileSize(from), true)) return false;

  SetStatusText(shownName + " " + LoadCatalogueString(kMessageCopying));
  copyIdle_ = false;
  bool copied = platform::ReplaceFile(from, to, platform::LooksLikeProgram(from));
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
