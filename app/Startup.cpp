// The run step: decides, before any window exists, whether this launcher goes on.

#include <memory>

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "platform/NamedMutex.h"
#include "platform/RunningExecutable.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kLauncherTag = "SolaneLauncher-VANTIK";

}  // namespace

bool PatchEngine::IsSingleInstance() {
  // A launcher started by a launcher may overlap its parent.
  if (commandLine_.GetOrEmpty("/EXEC:") == kLauncherTag) return false;
  auto mutex = std::make_unique<platform::NamedMutex>(kLauncherTag);
  auto status = mutex->status();
  if (status == platform::NamedMutex::Status::AlreadyExists || status == platform::NamedMutex::Status::AccessDenied) {
    ShowMessage(kMessageAlreadyRunning, platform::kBoxOk);
    return true;
  }
  if (status == platform::NamedMutex::Status::Created) singleInstance_ = std::move(mutex);
  return false;
}

StartupEnd PatchEngine::Run(const std::string& commandLine) {
  commandLine_.Parse(commandLine);
  const bool replacing = IsReplacementRun(commandLine);
  // A copy in Temp reads the settings of the installation it replaces, never a file in Temp.
  if (replacing) AdoptReplacedInstallation(commandLine);
  ResolveLocale();
  ResolvePublisher();
  if (IsSingleInstance()) return StartupEnd::AnotherLauncherRuns;
  // A copy that could not take the installed launcher's place ends here: it is not the
  // installation's launcher, and the installed one tries again at its next start.
  if (replacing) return ReplaceSelf(commandLine) ? StartupEnd::ReplacementStarted : StartupEnd::ReplacementFailed;
  // A launcher this one replaced may lie set aside beside it; it goes once it no longer runs.
  platform::RemoveReplacedExecutables(LauncherExePath());

  if (IsClientRunning()) {
    SetStatusMessage(kMessageClientRunning);
    clientRunning_ = 1;
    ShowMessage(kMessageClientRunning, platform::kBoxOk);
  }

  if (commandLine.empty()) {
    if (OpensGamePageWithoutCommandLine(publisher_)) {
      OpenBrowser(GamePage(publisher_));
      return StartupEnd::GamePageOpened;
    }
    return StartupEnd::OpenWindow;
  }
  std::string webArgument = commandLine_.GetOrEmpty("/WEBARG:");
  // A first start from a web page hands its whole argument text to the client as one value.
  if (!commandLine_.Get("/TO:") && !commandLine_.Get("/EXEC:")) {
    webArgument = commandLine;
    for (char& c : webArgument)
      if (c == ' ') c = '`';
  }
  {
    std::lock_guard<std::mutex> guard(textLock_);
    webArgument_ = webArgument;
  }
  return StartupEnd::OpenWindow;
}
