#include "app/LauncherApp.h"

#include <cstdio>

#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"

CLauncherApp::CLauncherApp(StartupSteps steps) : steps_(std::move(steps)) {}

CLauncherApp::~CLauncherApp() { PatchEngine::Destroy(); }

StartupEnd CLauncherApp::InitInstance(const std::string& commandLine) {
  if (steps_.installCrashReporter) steps_.installCrashReporter();
  PatchEngine& engine = PatchEngine::Instance();
  engine.SetHandOverOptions(steps_.handOverOptions);
  engine.SetVerifyDigests(steps_.verifyDigests);
  engine.SetPlayerRateLimit(steps_.limitRateKBps);
  // A file that cannot be read would count as empty and silently switch every setting off.
  if (const std::optional<std::string> unreadable = engine.CheckConfiguration()) {
    platform::ShowMessageBox(*unreadable, platform::kBoxOk | platform::kBoxIconStop);
    return StartupEnd::ConfigUnreadable;
  }
  const StartupEnd runStep = engine.Run(commandLine);
  if (runStep != StartupEnd::OpenWindow) return runStep;
  // Where the operator looks first; the window shows them again when the update starts.
  for (const std::string& warning : engine.StartupWarnings()) std::fprintf(stderr, "%s\n", warning.c_str());
  if (steps_.checkDirectX) steps_.checkDirectX();
  // Without a front-end (a build with neither window nor console) the run ends here.
  if (!steps_.frontEnd) return StartupEnd::NoWindow;
  steps_.frontEnd->RunMainWindow(engine);

  // The new launcher runs from the temporary folder, so the folder stays when it is pending.
  // Only the launcher that held the installation may delete it: another one may be using it.
  StartupEnd end = StartupEnd::WindowClosed;
  if (engine.IsLauncherUpdatePending())
    end = engine.RelaunchFromTemp() ? StartupEnd::RelaunchStarted : StartupEnd::RelaunchFailed;
  else if (engine.HoldsInstallation())
    engine.DeleteFolder(engine.TempDir());
  engine.AttachWindow(nullptr);
  return end;
}

int LauncherExitCode(StartupEnd end, bool windowEndedWell) {
  switch (end) {
    case StartupEnd::ReplacementStarted:
    case StartupEnd::RelaunchStarted: return 0;
    case StartupEnd::WindowClosed: return windowEndedWell ? 0 : 1;
    case StartupEnd::OpenWindow:
    case StartupEnd::ConfigUnreadable:
    case StartupEnd::AnotherLauncherRuns:
    case StartupEnd::GamePageOpened:
    case StartupEnd::NoWindow:
    case StartupEnd::ReplacementFailed:
    case StartupEnd::RelaunchFailed: break;
  }
  return 1;
}
