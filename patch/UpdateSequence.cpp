// The update sequence: runs once on its own thread after the window opens and brings the
// installation up to what Update.NFO announces, then leaves the window ready to start the game.

#include <cstdint>
#include <cstdlib>

#include "app/Profiles.h"
#include "app/Settings.h"
#include "patch/PatchEngine.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "servers/HostAddress.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kUpdateFile = "Update.NFO";
constexpr const char* kLauncherSection = "SolaneLauncher";
constexpr const char* kNone = "\xEC\x97\x86\xEC\x9D\x8C";  // "none" in Korean: the file's marker for an absent text
constexpr int64_t kFullBar = 1024;

// "\r" and "\n" written as two characters in the file stand for the control characters.
std::string UnescapeLineBreaks(std::string text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n')) {
      out += text[i + 1] == 'r' ? '\r' : '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

void PatchEngine::StartUpdate() {
  finished_ = false;
  if (LauncherWindow* window = Window()) {
    SetStatusMessage(kMessageStarting);
    // A repair run takes longer than an ordinary one: the player learns why at once.
    if (VerifiesDigests()) window->AnnounceLine(LoadCatalogueString(kMessageCheckingEveryFile));
    if (const std::vector<std::string> warnings = StartupWarnings(); !warnings.empty())
      window->ShowStartupWarnings(warnings);
    window->ShowStartButton(false);
    window->ShowExitButton(true);
  }
  auto* thread = new platform::Thread([this] { RunUpdateSequence(); });
  thread->SetPriority(platform::ThreadPriority::Lowest);
  if (platform::Thread* previous = sequenceThread_.exchange(thread)) {
    previous->Wait();
    delete previous;
  }
  thread->Resume();
}

bool PatchEngine::IsSequenceRunning() const {
  platform::Thread* thread = sequenceThread_.load();
  return thread && thread->IsRunning();
}

void PatchEngine::WaitSequenceThread() {
  if (platform::Thread* thread = sequenceThread_.load()) thread->Wait();
}

void PatchEngine::PauseUntilSequenceEnds(uint32_t milliseconds) {
  platform::Thread* thread = sequenceThread_.load();
  if (thread && thread->IsRunning() && !thread->IsCurrent())
    thread->WaitFor(milliseconds);
  else
    platform::SleepMs(milliseconds);
}

void PatchEngine::EndSequence(bool deleteTemp) {
  session_.Disconnect();
  SaveDigestCache();
  if (deleteTemp) DeleteFolder(TempDir());
}

void PatchEngine::RunUpdateSequence() {
  // Two launchers that cannot see each other's mutex must still never share one installation.
  TransferFailure lockFailure;
  if (!AcquireInstallation(lockFailure)) {
    if (lockFailure) return ReportError(lockFailure);
    ShowMessage(kMessageAlreadyRunning, platform::kBoxOk);
    SetCancel(true);
    if (LauncherWindow* window = Window()) window->RunExitProcedure();
    return;
  }
  if (!FetchUpdateInfo()) return EndSequence(true);
  if (IsClientAlreadyRunning()) {
    finished_ = true;
    SetStatusMessage(kMessageClientRunning);
    return;
  }
  if (IsCancelled()) return EndSequence(true);
  MigrateRegistry();
  session_.SetRateLimit(DownloadRateLimit());
  if (IsCancelled()) return EndSequence(true);
  // A new launcher ends the run here; the temporary folder holds it.
  if (UpdateLauncher()) {
    EndSequence(!IsLauncherUpdatePending());
    if (!IsCancelled()) ReportRecordedFailures();
    return;
  }

  const int errorShow = updateInfo_.ReadInt(kLauncherSection, "ErrorShow", 0);
  const int errorRun = updateInfo_.ReadInt(kLauncherSection, "ErrorRun", 0);
  const std::string errorMessage = updateInfo_.ReadString(kLauncherSection, "ErrorMessage", "");

  UpdateClient();
  DeleteListedFiles();
  UpdateErrorReporter();
  UpdateResourcePacks();

  WaitDownloadThread();
  EndSequence(true);

  if (!DirectXOk()) {
    platform::ShowMessageBox(DirectXWarning(), platform::kBoxOk | platform::kBoxIconExclamation);
    return;
  }
  if (IsCancelled()) return;
  // A step that failed without stopping the update still keeps it from counting as complete.
  if (!RecordedFailures().empty()) return ReportRecordedFailures();
  // Every file arrived: bytes kept from unfinished downloads are of no further use.
  DeleteFolder(PartialDir());
  if (errorShow == 0) {
    FinishUpdate();
    AutoRunAfterUpdate();
    return;
  }
  if (!errorMessage.empty())
    platform::ShowMessageBox(UnescapeLineBreaks(errorMessage), platform::kBoxOk | platform::kBoxIconStop);
  if (errorRun != 0) {
    FinishUpdate();
    AutoRunAfterUpdate();
    return;
  }
  SetFileRange(kFullBar, 0);
  SetFilePos(kFullBar);
  SetTotalRange(kFullBar, 0);
  SetTotalPos(kFullBar);
  finished_ = true;
}

void PatchEngine::ConfigureSession() {
  const std::string run = ReadSetting(kSettingRun);
  std::string values[kProfileValueCount];
  for (int index = 0; index < kProfileValueCount; ++index) values[index] = ServerProfileValue(index, run);
  SetProfileDescription(values[kProfileDescription]);

  session_.Reset();
  const bool keepName = GetLocale() == kLocaleUsa && GetPublisher() == kPublisherQuadrium;
  session_.SetHost(keepName ? values[kProfileUrl] : ResolveHostAddress(values[kProfileUrl], values[kProfilePort]));
  session_.SetPort(std::atoi(values[kProfilePort].c_str()));
  session_.SetUserName(values[kProfileId]);
  session_.SetPassword(values[kProfilePassword]);
  std::string serverPath = values[kProfileUrl] == PatchHost() ? PatchPath() : values[kProfileServerPath];
  if (!serverPath.empty() && serverPath.back() != '/') serverPath += '/';
  session_.SetServerPath(serverPath);
  session_.SetProtocol(values[kProfileType] == "2" ? CTransferSession::kProtocolHttp : CTransferSession::kProtocolFtp);
  session_.SetAgent("Solane Launcher");
}

std::optional<std::string> PatchEngine::FetchIntoMemory(const std::string& fileName) {
  ForgetRemoteSize(fileName);
  if (!PrepareDownload(fileName, false, true)) return std::nullopt;
  const int previousMode = session_.GetStorageMode();
  session_.SetStorageMode(CTransferSession::kStorageMemory);
  StartDownload(fileName);
  MonitorDownload(fileName, -1);
  session_.SetStorageMode(previousMode);
  if (session_.GetErrorCode() != 0 || IsCancelled()) return std::nullopt;
  return session_.GetText();
}

bool PatchEngine::FetchUpdateFile(const std::string& fileName, const std::string& folder) {
  const std::optional<std::string> body = FetchIntoMemory(fileName);
  // A signature covers the bytes as they came: it is checked before anything reads them.
  if (!body || !CheckReleaseSignature(fileName, *body)) return false;
  std::string text = DecodeServerText(*body, GetLocale());
  if (!updateInfo_.Parse(text, [this] { return IsCancelled(); }) || updateInfo_.EntryCount() == 0) return false;
  updateInfo_.SetLoadedPath(platform::JoinPath(folder, fileName));
  return true;
}

bool PatchEngine::FetchUpdateInfo() {
  ConfigureSession();
  LoadPublisherKey();
  while (!session_.Connect()) {
    if (IsCancelled()) return false;
    if (ShowMessage(kMessageConnectRetry, platform::kBoxOkCancel) != platform::kResultOk) {
      session_.Disconnect();
      return false;
    }
    platform::SleepMs(100);
  }
  while (true) {
    SetZipFlag(false);
    if (FetchUpdateFile(kUpdateFile, TempDir()) && updateInfo_.IsProper() && AcceptReleaseSerial()) break;
    if (IsCancelled()) break;
    if (ShowMessage(kMessageImproperFile, platform::kBoxOkCancel) != platform::kResultOk) {
      session_.Disconnect();
      return false;
    }
    platform::SleepMs(1);
  }

  const std::string versionText = updateInfo_.ReadString(kLauncherSection, "VersionDesc", kNone);
  const std::string noticeAddress = updateInfo_.ReadString(kLauncherSection, "Emergency_NoticeURL", kNone);
  if (LauncherWindow* window = Window()) {
    if (versionText != kNone) window->SetVersionLine(versionText);
    if (noticeAddress != kNone) window->NavigateNotice(noticeAddress);
  }
  RefreshLoginServers();
  if (int locale = MatchLocaleCode(updateInfo_.ReadString(kLauncherSection, "Locale", "NULL"))) SetLocale(locale);
  SetPublisherRegistryMark();
  return true;
}

void PatchEngine::FinishUpdate() {
  if (LauncherWindow* window = Window()) {
    if (!IsCancelled()) SetStatusMessage(kMessageCompleted);
    SetFileRange(kFullBar, 0);
    SetFilePos(kFullBar);
    SetTotalRange(kFullBar, 0);
    SetTotalPos(kFullBar);
    window->ShowStartButton(true);
    window->ShowExitButton(true);
    platform::DebugOutput("update completed: the start button is shown\n");
  }
  finished_ = true;
}

void PatchEngine::AutoRunAfterUpdate() {
  LauncherWindow* window = Window();
  if (!window || !window->IsAutoRunChecked()) return;
  window->SaveSettings();
  if (LaunchClient()) window->CloseWindow();
}

void PatchEngine::SetPublisherRegistryMark() {
  switch (RegistryMarkFor(GetPublisher())) {
    case RegistryMark::ExecutablePath:
      if (RegistryRead("Excutable", "SolaneClient", "RegKey", "RegSubKey").empty())
        RegistryWrite("Excutable", "SolaneClient", "RegKey", "RegSubKey", LauncherExePath(), platform::kRegSz);
      break;
    case RegistryMark::HalverstonStatus: {
      const RegistryLocation location{platform::RegistryRoot::LocalMachine, "Software\\Halverston\\HVL\\Solane"};
      auto status = platform::RegistryQueryValue(location.root, location.path, "STATUS");
      if (status && status->data.size() == 4) {
        const uint32_t hundred = 100;
        platform::RegistrySetValue(location.root, location.path, "STATUS", platform::kRegDword, &hundred, 4);
      }
      break;
    }
    case RegistryMark::None: break;
  }
}
