// The application entry: reads the options that belong to the entry itself ("--" options, as GUI
// toolkits strip their own), chooses the window (the skinned one where a display is reachable,
// the console otherwise) and how boxes are shown, rebuilds the launcher's command line and runs
// start-up.

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/EntryOptions.h"
#include "app/LauncherApp.h"
#include "diagnostics/CrashReporter.h"
#include "diagnostics/DirectXCheck.h"
#include "download/TransferSession.h"
#include "patch/Crypto.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "platform/TerminalMessageBox.h"
#include "window/ConsoleWindow.h"

#ifdef SOLANE_HAVE_WX
#include <wx/app.h>
#include <wx/init.h>

#include "window/wx/WxFrontEnd.h"
#include "window/wx/WxMessageBox.h"
#endif

namespace {

#ifdef SOLANE_HAVE_WX
bool DisplayReachable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// The launcher reads its own command line: wx's parsing would refuse the "/LOCALE:" switches.
class ToolkitApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

// Starts the toolkit without handing it the program: start-up keeps its own order.
bool StartToolkit(int& argc, char** argv) {
  wxApp::SetInstance(new ToolkitApp());
  if (!wxEntryStart(argc, argv)) return false;
  return wxTheApp->CallOnInit();
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // The transfer and crypto libraries start before any thread does.
  InitTransferLibrary();
  InitCryptoLibrary();
  std::vector<std::string> arguments(argv + 1, argv + argc);
  EntryOptions options = ExtractEntryOptions(arguments);
  if (!options.error.empty()) {
    std::fprintf(stderr, "%s\n\n%s", options.error.c_str(), EntryUsage().c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(EntryUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("SolaneLauncher %s\n", LauncherVersionText().c_str());
    return 0;
  }

  bool toolkit = false;
#ifdef SOLANE_HAVE_WX
  if (!options.console && DisplayReachable() && StartToolkit(argc, argv)) {
    toolkit = true;
    platform::SetMessageBoxProvider(MakeWxMessageBox([] { return PatchEngine::Instance().IsCancelled(); }));
    options = ExtractEntryOptions(std::vector<std::string>(argv + 1, argv + argc));
  }
#endif
  if (!toolkit) platform::SetMessageBoxProvider(platform::MakeTerminalMessageBox());
  // A crashed launcher runs this program again to write its report from outside.
  if (IsCrashHelperRun()) return RunCrashHelper();

  int exitCode = 0;
  {
    StartupSteps steps;
    steps.installCrashReporter = [] { InstallCrashReporter(2, true); };
    steps.checkDirectX = [] { CheckDirectX(PatchEngine::Instance()); };
    steps.handOverOptions = HandOverOptions(options);
    steps.verifyDigests = options.verify;
    steps.limitRateKBps = options.limitRateKBps;
    std::function<ConsoleOutcome()> outcome;
#ifdef SOLANE_HAVE_WX
    if (toolkit) {
      auto window = std::make_unique<WxFrontEnd>(options.autorun);
      outcome = [window = window.get()] { return window->Outcome(); };
      steps.frontEnd = std::move(window);
    }
#endif
    if (!steps.frontEnd) {
      ConsoleOptions console;
      console.autorun = options.autorun;
      auto window = std::make_unique<ConsoleFrontEnd>(std::move(console));
      outcome = [window = window.get()] { return window->Outcome(); };
      steps.frontEnd = std::move(window);
    }
    CLauncherApp app(std::move(steps));
    const StartupEnd end = app.InitInstance(options.commandLine);
    // Scripts can tell a finished update from one that was cancelled or failed.
    exitCode = LauncherExitCode(end, ConsoleExitCode(outcome()) == 0);
  }
#ifdef SOLANE_HAVE_WX
  if (toolkit) wxEntryCleanup();
#endif
  return exitCode;
}
