#include "app/LauncherApp.h"

#include "patch/PatchEngine.h"

CLauncherApp::CLauncherApp(StartupSteps steps) : steps_(std::move(steps)) {}

CLauncherApp::~CLauncherApp() { PatchEngine::Destroy(); }

StartupEnd CLauncherApp::InitInstance(const std::string& commandLine) {
  if (steps_.installCrashReporter) steps_.installCrashReporter();
  PatchEngine& engine = PatchEngine::Instance();
  engine.SetHandOverOptions(steps_.handOverOptions);
  engine.SetVerifyDigests(steps_.verifyDigests);
  engine.SetPlayerRateLimit(steps_.limitRateKBps);
  const StartupEnd runStep = engine.Run(commandLine);
  if (runStep != StartupEnd::OpenWindow) return runStep;
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
    case StartupEnd::AnotherLauncherRuns:
    case StartupEnd::GamePageOpened:
    case StartupEnd::NoWindow:
    case StartupEnd::ReplacementFailed:
    case StartupEnd::RelaunchFailed: break;
  }
  return 1;
}
