// The application entry: reads the options that belong to the entry itself ("--" options, as GUI
// toolkits strip their own), chooses how boxes are shown, rebuilds the launcher's command line and
// runs start-up.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/EntryOptions.h"
#include "app/LauncherApp.h"
#include "download/TransferSession.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "platform/TerminalMessageBox.h"
#include "window/ConsoleWindow.h"

#ifdef SOLANE_HAVE_WX
#include <wx/app.h>
#include <wx/init.h>

#include "window/wx/WxMessageBox.h"
#endif

namespace {

#ifdef SOLANE_HAVE_WX
bool DisplayReachable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// Starts the toolkit without handing it the program: start-up keeps its own order.
bool StartToolkit(int& argc, char** argv) {
  wxApp::SetInstance(new wxApp());
  if (!wxEntryStart(argc, argv)) return false;
  return wxTheApp->CallOnInit();
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // The transfer library starts before any thread does.
  InitTransferLibrary();
  std::vector<std::string> arguments(argv + 1, argv + argc);
  EntryOptions options = ExtractEntryOptions(arguments);
  if (!options.error.empty()) {
    std::fprintf(stderr, "%s\n\n%s", options.error.c_str(), EntryUsage().c_str());
    return 1;
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

  // The skinned window is not there yet: the console shows the update with either kind of box.
  ConsoleOptions console;
  console.autorun = options.autorun;
  console.terminalBoxes = !toolkit;
#ifdef SOLANE_HAVE_WX
  // Boxes asked by a worker wait for the toolkit's main thread, which is the console's.
  if (toolkit) console.idle = [] { wxTheApp->ProcessPendingEvents(); };
#endif
  int exitCode = 0;
  {
    StartupSteps steps;
    auto frontEnd = std::make_unique<ConsoleFrontEnd>(std::move(console));
    ConsoleFrontEnd* consoleFrontEnd = frontEnd.get();
    steps.frontEnd = std::move(frontEnd);
    steps.handOverOptions = HandOverOptions(options);
    steps.verifyDigests = options.verify;
    steps.limitRateKBps = options.limitRateKBps;
    CLauncherApp app(std::move(steps));
    const StartupEnd end = app.InitInstance(options.commandLine);
    // Scripts can tell a finished update from one that was cancelled or failed.
    exitCode = LauncherExitCode(end, ConsoleExitCode(consoleFrontEnd->Outcome()) == 0);
  }
#ifdef SOLANE_HAVE_WX
  if (toolkit) wxEntryCleanup();
#endif
  return exitCode;
}
