#pragma once
// The application object: its initialisation runs the whole life of the launcher.

#include <functional>
#include <memory>
#include <string>

class PatchEngine;

// What shows the main window: the wx dialog, the console, or a test's stand-in.
class LauncherFrontEnd {
 public:
  virtual ~LauncherFrontEnd() = default;
  // Runs the main window until it closes. The window attaches itself to the engine.
  virtual void RunMainWindow(PatchEngine& engine) = 0;
};

// Steps of start-up that belong to other pieces; each may be left empty.
struct StartupSteps {
  std::function<void()> installCrashReporter;
  std::function<void()> checkDirectX;
  std::unique_ptr<LauncherFrontEnd> frontEnd;
};

class CLauncherApp {
 public:
  explicit CLauncherApp(StartupSteps steps);
  ~CLauncherApp();  // deletes the engine
  CLauncherApp(const CLauncherApp&) = delete;
  CLauncherApp& operator=(const CLauncherApp&) = delete;

  // Start-up in its fixed order; always false, so the process ends afterwards.
  bool InitInstance(const std::string& commandLine);

 private:
  StartupSteps steps_;
};
