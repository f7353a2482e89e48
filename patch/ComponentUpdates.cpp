// The three programs of the installation: the launcher, the game client and the error reporter.
// Each is brought to the version that its section announces; the launcher only downloads its
// new file, which start-up puts in place once the window has closed.

#include <string>

#include "app/Profiles.h"
#include "app/Settings.h"
#include "patch/FileVersion.h"
#include "patch/Md5.h"
#include "patch/PatchEngine.h"
#include "platform/AsciiText.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kLauncherSection = "SolaneLauncher";
constexpr const char* kClientSection = "SolaneClient";
constexpr const char* kErrorSection = "SolaneError";

// Everything Update.NFO says of a component's version: kept bytes of another one are never continued.
std::string AnnouncementOf(const UpdateInfo& info, const std::string& section) {
  std::string text = section;
  for (const char* key : {"VersionMajorHigh", "VersionMajorLow", "VersionMinorHigh", "VersionMinorLow"})
    text += " " + std::to_string(info.ReadInt(section, key, 0));
  return text + " " + info.ReadString(section, "MD5", "No") + " " + info.ReadString(section, "ZIP", "0");
}

std::string Labelled(int labelId, int messageId) {
  return LoadCatalogueString(labelId) + " " + LoadCatalogueString(messageId);
}

}  // namespace

bool PatchEngine::ComponentNeedsUpdate(const std::string& section, const std::string& installedPath) {
  FileVersion version(installedPath);
  if (version.Differs(updateInfo_.ReadInt(section, "VersionMajorHigh", 0), updateInfo_.ReadInt(section, "VersionMajorLow", 0),
                      updateInfo_.ReadInt(section, "VersionMinorHigh", 0), updateInfo_.ReadInt(section, "VersionMinorLow", 0)))
    return true;
  const std::string digest = updateInfo_.ReadString(section, "MD5", "No");
  if (digest == "No") return false;
  if (!PathExists(installedPath)) return true;
  return InstalledDigest(installedPath) != digest;
}

PatchEngine::ComponentDownload PatchEngine::DownloadComponent(const std::string& section, const std::string& fileName) {
  SetZipFlag(updateInfo_.ReadString(section, "ZIP", "0") != "0");
  const AnnouncedDigest digest = AnnouncedDigestOf(section, "");
  SetDownloadAnnouncement(AnnouncementOf(updateInfo_, section), digest.md5, digest.sha256);
  if (!PrepareDownload(fileName, true, false)) {
    if (!IsCancelled()) RecordFailure(fileName + " " + LoadCatalogueString(kMessageWrongSize));
    return ComponentDownload::NotPrepared;
  }
  StartDownload(fileName);
  MonitorDownload(fileName, -1);
  if (session_.GetErrorCode() != 0 || IsCancelled() || !LastJobSucceeded()) {
    if (!IsCancelled()) RecordFailure(fileName + " " + LoadCatalogueString(kMessageUpdateFailed));
    return ComponentDownload::Failed;
  }
  return ComponentDownload::Done;
}

// A name the installation cannot safely use is a failed step, not a silent skip.
void PatchEngine::RecordUnusableName(const std::string& name) {
  SetStatusText(name + " " + LoadCatalogueString(kMessageUpdateFailed));
  RecordFailure(name + " " + LoadCatalogueString(kMessageUnusableName));
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
  if (!TempPath(fileName)) {
    RecordUnusableName(fileName);
    return false;
  }
  // The running program is what is compared, whatever the server calls its file.
  if (!ComponentNeedsUpdate(kLauncherSection, LauncherExePath())) {
    SetStatusText(Labelled(kLabelLauncher, kMessageCompleted));
    return false;
  }
  switch (DownloadComponent(kLauncherSection, fileName)) {
    case ComponentDownload::NotPrepared: return false;
    case ComponentDownload::Failed: return true;
    case ComponentDownload::Done: break;
  }
  // The new launcher is started from where it was downloaded, so it must be whole first.
  if (!CheckDownloadedFile(fileName, AnnouncedDigestOf(kLauncherSection, ""))) return true;

  // The copy in Temp takes the installed launcher's place only under the installed launcher's
  // own name, whatever the server calls its file.
  std::string pending = platform::ToNativePath(fileName);
  const std::string ownName = platform::JoinPath(platform::ParentOf(pending), LauncherExeName());
  if (pending != ownName) {
    if (!platform::ReplaceFile(platform::JoinPath(TempDir(), pending), platform::JoinPath(TempDir(), ownName), true)) {
      RecordFailure(fileName + " " + LoadCatalogueString(kMessageCopyFailed));
      return true;
    }
    pending = ownName;
  }
  SetLauncherUpdatePending(pending);
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
  const std::optional<std::string> installedPath = InstallPath(fileName);
  if (!installedPath || !TempPath(fileName)) {
    RecordUnusableName(fileName);
    return;
  }
  if (requireInstalled && !PathExists(*installedPath)) {
    SetCancel(true);
    ShowMessage(kMessageNotInstalled, platform::kBoxOk);
    return;
  }

  SetStatusText(Labelled(labelId, kMessageChecking));
  if (!ComponentNeedsUpdate(section, *installedPath)) {
    SetStatusText(Labelled(labelId, kMessageCompleted));
    return;
  }
  if (DownloadComponent(section, fileName) != ComponentDownload::Done) return;
  if (!InstallDownloadedFile(fileName, *installedPath, AnnouncedDigestOf(section, ""))) {
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

bool PatchEngine::CheckDownloadedFile(const std::string& name, const AnnouncedDigest& digest) {
  const std::optional<std::string> path = TempPath(name);
  const int64_t expected = ExpectedFileSize();
  const int64_t size = path ? FileSize(*path) : -1;
  int failedMessage = 0;
  if (size < 0 || (expected > 0 && size != expected)) {
    failedMessage = kMessageWrongSize;
  } else if (RequiresSignedRelease()) {
    failedMessage = Sha256Problem(*path, digest.sha256);
  } else if (digest.md5 != "No" && !platform::EqualsIgnoringCase(Md5OfFile(*path, [this] { return IsCancelled(); }), digest.md5)) {
    // Letter case aside: an upper-case digest still names the same bytes.
    failedMessage = kMessageDigestMismatch;
  }
  if (failedMessage == 0) return true;
  if (IsCancelled()) return false;
  RecordFailure(name + " " + LoadCatalogueString(failedMessage));
  SetStatusText(name + " " + LoadCatalogueString(failedMessage));
  if (path) DeletePath(*path);
  return false;
}

bool PatchEngine::InstallDownloadedFile(const std::string& name, const std::string& installedPath,
                                        const AnnouncedDigest& digest) {
  if (!CheckDownloadedFile(name, digest)) return false;
  const std::optional<std::string> path = TempPath(name);
  if (CopyIntoPlace(*path, installedPath)) return true;
  if (!IsCancelled()) RecordFailure(name + " " + LoadCatalogueString(kMessageCopyFailed));
  return false;
}
