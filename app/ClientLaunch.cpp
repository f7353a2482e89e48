// Starting the game client and other programs.

#include "app/Profiles.h"
#include "app/Settings.h"
#include "patch/PatchEngine.h"
#include "platform/AsciiText.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/TopLevelWindows.h"
#include "platform/WindowsProgram.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kClientWindowClass = "SOLANE_CLIENT";
constexpr const char* kClientWindowTitle = "Solane Client";
constexpr const char* kClientNameFragment = "SOLANECLIENT";
constexpr const char* kClientExecutable = "SolaneClient.exe";

// Every module of every process passes through here: no copy of the text is made.
bool ContainsClientName(std::string_view text) { return platform::ContainsIgnoringCase(text, kClientNameFragment); }

}  // namespace

bool PatchEngine::IsClientRunning() {
  if (platform::FindTopLevelWindow(kClientWindowClass, kClientWindowTitle)) return true;
  auto processes = platform::SnapshotProcesses();
  if (!processes) return false;
  const int self = platform::CurrentProcessId();
  for (const platform::ProcessEntry& process : *processes) {
    if (process.pid == self) continue;
    if (ContainsClientName(process.exeFileName)) return true;
    // A process whose modules cannot be read is passed over; the next may still be the client.
    auto modules = platform::SnapshotModules(process.pid);
    if (!modules) continue;
    for (const std::string& module : *modules)
      if (ContainsClientName(module)) return true;
  }
  return false;
}

bool PatchEngine::LaunchClient() {
  // The start button and the auto-run step may race for the same finished update.
  std::unique_lock<std::mutex> launching(launchLock_, std::try_to_lock);
  if (!launching.owns_lock()) return false;

  if (IsClientRunning()) {
    ShowMessage(kMessageClientRunning, platform::kBoxOk);
    SetStatusMessage(kMessageClientRunning);
    return false;
  }
  std::string parameters;
  if (LauncherWindow* window = Window()) {
    std::string server = LoginServer();
    if (server.empty()) {
      ShowMessage(kMessageSelectServer, platform::kBoxOk);
      SetStatusMessage(kMessageSelectServer);
      return false;
    }
    bool windowed = GetLocale() != kLocaleChina && window->IsWindowModeChecked();
    WriteSetting(kSettingScreenMode, windowed ? "WINDOW" : "FULL");
    parameters = windowed ? "/Windowed" : "/Full";
    parameters += " /LoginServer:" + server;
    parameters += " /Run:VHIGH";
    parameters += " /LOCALE:" + std::string(LocaleCode(GetLocale()));
    parameters += " /PUBLISHER:" + std::string(PublisherCode(GetPublisher()));
    std::string webArgument = WebArgument();
    if (!webArgument.empty()) parameters += " /WEBARG:" + webArgument;
  }
  return ShellLaunch(LauncherDir(), kClientExecutable, parameters);
}

namespace {

void ShowStartError(PatchEngine& engine, int error) {
  switch (error) {
    case platform::kStartFileNotFound: engine.ShowMessage(kMessageCantFindProgram, platform::kBoxOk); break;
    case platform::kStartPathNotFound: engine.ShowMessage(kMessagePathWrong, platform::kBoxOk); break;
    case platform::kStartAccessDenied: engine.ShowMessage(kMessageAccessDenied, platform::kBoxOk); break;
    case platform::kStartWineMissing: engine.ShowMessage(kMessageWineMissing, platform::kBoxOk); break;
    default: break;
  }
}

}  // namespace

bool PatchEngine::ShellLaunch(const std::string& directory, const std::string& file, const std::string& parameters) {
  int error = platform::StartProgramOrThroughWine(directory, file, parameters);
  if (error == platform::kStartOk) return true;
  ShowStartError(*this, error);
  return false;
}

bool PatchEngine::OpenBrowser(const std::string& address) {
  int error = platform::OpenInBrowser(address);
  if (error == platform::kStartOk) return true;
  ShowStartError(*this, error);
  return false;
}
