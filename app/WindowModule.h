#pragma once
// The skinned window lives in a module of its own (SolaneLauncherWindow.so) whose bytes travel
// inside the executable, so an update of the one executable brings the window of its own version.
// The entry loads it only when a run opens the window or shows a box on a display: a console
// run, --version, --help and the crash helper never map the toolkit's libraries. The module binds
// to the engine inside the executable, so both work with one engine. Only the module includes the
// toolkit; this interface names none. The Windows build links its window in instead
// (LinkedWindowModule) and hands it out through the same interface.

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "app/LauncherApp.h"
#include "platform/MessageBox.h"
#include "window/ConsoleWindow.h"

// The main window as the module makes it.
class WindowFrontEnd : public LauncherFrontEnd {
 public:
  // How the run ended, as for the console.
  virtual ConsoleOutcome Outcome() const = 0;
};

// What the module's entry hands out.
struct WindowModule {
  // A module of another interface or another launcher version is refused: it would bind to an
  // engine laid out differently.
  int interfaceVersion;
  const char* launcherVersion;
  // Starts the toolkit on the process's command line, taking out the toolkit's own options;
  // false when it cannot start (no usable display).
  bool (*startToolkit)(int& argc, char** argv);
  // Ends the toolkit once nothing of the window is left.
  void (*stopToolkit)();
  // The toolkit's message boxes; a worker waiting for one gives up once `released` turns true.
  std::shared_ptr<platform::MessageBoxProvider> (*makeMessageBoxes)(std::function<bool()> released);
  // The skinned main window; `autoRun` ticks its auto-run box from the start.
  std::unique_ptr<WindowFrontEnd> (*makeFrontEnd)(bool autoRun);
};

inline constexpr int kWindowModuleInterface = 1;
// The module's name without its system's suffix, and the name of its one entry.
inline constexpr char kWindowModuleName[] = "SolaneLauncherWindow";
inline constexpr char kWindowModuleEntry[] = "SolaneWindowModule";
using WindowModuleEntry = const WindowModule* (*)();

#if defined(_WIN32)
#define SOLANE_WINDOW_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define SOLANE_WINDOW_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The Windows window (window/win32), linked into the executable: Win32 and GDI are the system's
// own libraries, so nothing is left to load when a run opens the window.
const WindowModule* LinkedWindowModule();

// The module file's bytes as the executable carries them.
using WindowModuleBytes = std::span<const unsigned char>;

// The module loaded from `bytes`, or why it cannot be used, as a sentence for the player.
struct LoadedWindowModule {
  const WindowModule* module = nullptr;
  std::string error;
};
LoadedWindowModule LoadWindowModule(WindowModuleBytes bytes);

// Message boxes that load the module and start the toolkit only when the first box is shown,
// and show it and every later box with the toolkit; on the terminal when the module cannot be
// used. `argc` and `argv` stay valid for the life of the process.
std::shared_ptr<platform::MessageBoxProvider> MakeDeferredWindowBoxes(int& argc, char** argv, WindowModuleBytes bytes);
