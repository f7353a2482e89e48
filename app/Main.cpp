// The application entry: reads the options that belong to the entry itself ("--" options, as GUI
// toolkits strip their own), chooses the window (the skinned one where a display is reachable,
// on Windows always; the console with --console) and how boxes are shown, rebuilds the launcher's command line and runs
// start-up.

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/EntryOptions.h"
#include "app/LauncherApp.h"
#include "app/WindowModule.h"
#include "diagnostics/CrashReporter.h"
#include "diagnostics/DirectXCheck.h"
#include "patch/Crypto.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "platform/ProgramConsole.h"
#include "platform/ProgramArguments.h"
#include "platform/TerminalMessageBox.h"
#include "window/ConsoleWindow.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOLANE_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(SOLANE_ADDRESS_SANITIZER)
// The leak check at exit misreads the thread-local storage of libraries loaded while the program
// runs (the window module's toolkit) and crashes on it: the check leaves that storage out.
extern "C" const char* __asan_default_options() { return "intercept_tls_get_addr=0"; }
#endif

#ifdef SOLANE_WINDOW_MODULE
// The window module's file, which the build puts inside the executable (WindowModuleBytes.S). Its
// pages are read from the executable only when a run loads the window.
extern "C" const unsigned char solane_window_module_start[];
extern "C" const unsigned char solane_window_module_end[];
#endif

namespace {

#ifdef SOLANE_WINDOW_MODULE
WindowModuleBytes EmbeddedWindowModule() {
  return {solane_window_module_start, solane_window_module_end};
}
#endif

[[maybe_unused]] bool DisplayReachable() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

// The window module with its toolkit started, or null for the console. A module
// that cannot be loaded or does not fit says so on the terminal; the run goes on on the console.
const WindowModule* StartWindow(int& argc, char** argv) {
#if defined(SOLANE_LINKED_WINDOW)
  // Windows makes a window on any desktop (Wine, too, without a display).
  const WindowModule* linked = LinkedWindowModule();
  return linked->startToolkit(argc, argv) ? linked : nullptr;
#elif defined(SOLANE_WINDOW_MODULE)
  if (!DisplayReachable()) return nullptr;
  const LoadedWindowModule loaded = LoadWindowModule(EmbeddedWindowModule());
  if (!loaded.module) {
    std::fprintf(stderr, "%s\n", loaded.error.c_str());
    return nullptr;
  }
  return loaded.module->startToolkit(argc, argv) ? loaded.module : nullptr;
#else
  (void)argc, (void)argv;
  return nullptr;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  // The answers that need no update (a malformed option, --help, --version) come before anything
  // heavy starts. (Windows gives `argv` in its code page; the arguments come in UTF-8 here.)
  EntryOptions options = ExtractEntryOptions(platform::ProgramArguments(argc, argv));
  if (!options.error.empty() || options.help || options.version) platform::UseStartingConsole(false);
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
  // A crashed launcher runs this program again to write its report from outside. The report is
  // written before its box loads the window module, if a display shows it at all.
  if (IsCrashHelperRun()) {
#ifdef SOLANE_WINDOW_MODULE
    if (DisplayReachable()) platform::SetMessageBoxProvider(MakeDeferredWindowBoxes(argc, argv, EmbeddedWindowModule()));
#elif defined(SOLANE_LINKED_WINDOW)
    platform::SetMessageBoxProvider(LinkedWindowModule()->makeMessageBoxes(nullptr));
#endif
    return RunCrashHelper();
  }

  // The crypto library starts before any thread does (the toolkit starts some); the transfer
  // library is loaded by the first transfer.
  InitCryptoLibrary();
  const WindowModule* window = options.console ? nullptr : StartWindow(argc, argv);
  if (window) {
    platform::SetMessageBoxProvider(window->makeMessageBoxes([] { return PatchEngine::Instance().IsCancelled(); }));
    options = ExtractEntryOptions(std::vector<std::string>(argv + 1, argv + argc));
  } else {
    // A run on the terminal talks on the console it was started from, or on one of its own.
    platform::UseStartingConsole(true);
    platform::SetMessageBoxProvider(platform::MakeTerminalMessageBox());
  }

  int exitCode = 0;
  {
    StartupSteps steps;
    steps.installCrashReporter = [] { InstallCrashReporter(2, true); };
    steps.checkDirectX = [] { CheckDirectX(PatchEngine::Instance()); };
    steps.handOverOptions = HandOverOptions(options);
    steps.verifyDigests = options.verify;
    steps.limitRateKBps = options.limitRateKBps;
    std::function<ConsoleOutcome()> outcome;
    if (window) {
      std::unique_ptr<WindowFrontEnd> front = window->makeFrontEnd(options.autorun);
      outcome = [front = front.get()] { return front->Outcome(); };
      steps.frontEnd = std::move(front);
    } else {
      ConsoleOptions console;
      console.autorun = options.autorun;
      auto front = std::make_unique<ConsoleFrontEnd>(std::move(console));
      outcome = [front = front.get()] { return front->Outcome(); };
      steps.frontEnd = std::move(front);
    }
    CLauncherApp app(std::move(steps));
    const StartupEnd end = app.InitInstance(options.commandLine);
    // Scripts can tell a finished update from one that was cancelled or failed.
    exitCode = LauncherExitCode(end, ConsoleExitCode(outcome()) == 0);
  }
  if (window) window->stopToolkit();
  return exitCode;
}
