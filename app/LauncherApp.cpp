#include "app/LauncherApp.h"

#include "patch/PatchEngine.h"

CLauncherApp::CLauncherApp(StartupSteps steps) : steps_(std::move(steps)) {}

CLauncherApp::~CLauncherApp() { PatchEngine::Destroy(); }

bool CLauncherApp::InitInstance(const std::string& commandLine) {
  if (steps_.installCrashReporter) steps_.installCrashReporter();
  PatchEngine& engine = PatchEngine::Instance();
  if (!engine.Run(commandLine)) return false;
  if (steps_.checkDirectX) steps_.checkDirectX();
  // Without a front-end (a build with neither window nor console) the run ends here.
  if (!steps_.frontEnd) return false;
  steps_.frontEnd->RunMainWindow(engine);

  // The new launcher runs from the temporary folder, so the folder stays when it is pending.
  // Only the launcher that held the installation may delete it: another one may be using it.
  if (engine.IsLauncherUpdatePending())
    engine.RelaunchFromTemp();
  else if (engine.HoldsInstallation())
    engine.DeleteFolder(engine.TempDir());
  engine.AttachWindow(nullptr);
  return false;
}
