// The three programs of the installation: the launcher, the game client and the error reporter.
// Each is brought to the version that its section announces; the launcher only downloads its
// new file, which start-up puts in place once the window has closed.

#include <string>

#include "app/Profiles.h"
#include "app/Settings.h"
#include "patch/FileVersion.h"
#include "patch/Md5.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kLauncherSection = "SolaneLauncher";
constexpr const char* kClientSection = "SolaneClient";
constexpr const char* kErrorSection = "SolaneError";

std::string Labelled(int labelId, int messageId) {
  return LoadCatalogueString(labelId) + " " + LoadCatalogueString(messageId);
}

// The last component of a server name whose folders may be separated by "/" or "\".
std::string BareFileName(std::string name) {
  const size_t last = name.find_last_of("/\\");
  return last == std::string::npos ? name : name.substr(last + 1);
}

}  // namespace

bool PatchEngine::ComponentNeedsUpdate(const std::string& section, const std::string& installedPath,
                                       const std::string& fileName) {
  FileVersion version(installedPath);
  if (version.Differs(updateInfo_.ReadInt(section, "VersionMajorHigh", 0), updateInfo_.ReadInt(section, "VersionMajorLow", 0),
                      updateInfo_.ReadInt(section, "VersionMinorHigh", 0), updateInfo_.ReadInt(section, "VersionMinorLow", 0)))
    return true;
  const std::string digest = updateInfo_.ReadString(section, "MD5", "No");
  if (digest == "No") return false;
  const std::string path = platform::ResolvePath(platform::JoinPath(LauncherDir(), fileName));
  if (!PathExists(path)) return true;
  return Md5OfFile(path, [this] { return IsCancelled(); }) != digest;
}

PatchEngine::ComponentDownload PatchEngine::DownloadComponent(const std::string& section, const std::string& fileName) {
  SetZipFlag(updateInfo_.ReadString(section, "ZIP", "0") != "0");
  if (!PrepareDownload(fileName, true, false)) return ComponentDownload::NotPrepared;
  StartDownload(fileName);
  MonitorDownload(fileName, -1);
  if (session_.GetErrorCode() != 0 || IsCancelled()) return ComponentDownload::Failed;
  return ComponentDownload::Done;
}

bool PatchEngine::UpdateLauncher() {
  SetStatusText(Labelled(kLabelLauncher, kMessageStarting));
  SetStatusText(Labelled(kLabelLauncher, kMessageChecking));
  const int32_t majorHigh = updateInfo_.ReadInt(kLauncherSection, "VersionMajorHigh", 0);
  const int32_t majorLow = updateInfo_.ReadInt(kLauncherSection, "VersionMajorLow", 0);
  const int32_t minorHigh = updateInfo_.ReadInt(kLauncherSection, "VersionMinorHigh", 0);
  const int32_t minorLow = updateInfo_.ReadInt(kLauncherSection, "VersionMinorLow", 0);
  if (majorHigh == 0 && majorLow == 0 && minorHigh == 0 && minorLow == 0) {
    SetCancel(true);
    ShowMessage(kMessageNotInstalled, platform::kBoxOk);
    return true;
  }

  const std::string fileName = updateInfo_.ReadString(kLauncherSection, "FileName", "SolaneLauncher.exe");
  if (!IsSafeInstallName(fileName)) {
    SetStatusText(fileName + " " + LoadCatalogueString(kMessageUpdateFailed));
    return false;
  }
  if (!ComponentNeedsUpdate(kLauncherSection, LauncherExePath(), fileName)) {
    SetStatusText(Labelled(kLabelLauncher, kMessageCompleted));
    return false;
  }
  switch (DownloadComponent(kLauncherSection, fileName)) {
    case ComponentDownload::NotPrepared: return false;
    case ComponentDownload::Failed: return true;
    case ComponentDownload::Done: break;
  }

  const std::string pendingName = BareFileName(fileName);
  if (pendingName.empty()) return true;
  SetLauncherUpdatePending(pendingName);
  SetStatusText(Labelled(kLabelLauncher, kMessageCompleted));
  LauncherWindow* window = Window();
  if (window && GetLocale() != kLocaleChina)
    WriteSetting(kSettingScreenMode, window->IsWindowModeChecked() ? "WINDOW" : "FULL");
  WaitDownloadThread();
  WaitProbeThread();
  if (window) window->CloseWindow();
  return true;
}

void PatchEngine::UpdateInstalledComponent(const std::string& section, const std::string& defaultName, int labelId,
                                           bool requireInstalled) {
  SetStatusText(Labelled(labelId, kMessageStarting));
  const std::string fileName = updateInfo_.ReadString(section, "FileName", defaultName);
  if (!IsSafeInstallName(fileName)) {
    SetStatusText(fileName + " " + LoadCatalogueString(kMessageUpdateFailed));
    return;
  }
  const std::string installedPath = platform::ResolvePath(platform::JoinPath(LauncherDir(), fileName));
  if (requireInstalled && !PathExists(installedPath)) {
    SetCancel(true);
    ShowMessage(kMessageNotInstalled, platform::kBoxOk);
    return;
  }

  SetStatusText(Labelled(labelId, kMessageChecking));
  if (!ComponentNeedsUpdate(section, installedPath, fileName)) {
    SetStatusText(Labelled(labelId, kMessageCompleted));
    return;
  }
  if (DownloadComponent(section, fileName) != ComponentDownload::Done) return;
  if (!CopyIntoPlace(platform::JoinPath(TempDir(), fileName), installedPath)) {
    SetCancel(true);
    ShowMessage(kMessageCopyFailed, platform::kBoxOk);
    SetStatusText(Labelled(labelId, kMessageCopyFailed));
  }
}

void PatchEngine::UpdateClient() {
  UpdateInstalledComponent(kClientSection, "SolaneClient.exe", kLabelClient, true);
}

void PatchEngine::UpdateErrorReporter() {
  if (updateInfo_.ReadInt(kErrorSection, "Update", 0) == 0) return;
  UpdateInstalledComponent(kErrorSection, "SolaneError.exe", kLabelError, false);
}
