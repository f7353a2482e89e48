#pragma once
// The application object: its initialisation runs the whole life of the launcher.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/StartupEnd.h"

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
  // Entry options that the launchers started along a hand-over carry as well.
  std::string handOverOptions;
  // The player's choices for this run's update ("--verify", "--limit-rate=").
  bool verifyDigests = false;
  uint32_t limitRateKBps = 0;
};

class CLauncherApp {
 public:
  explicit CLauncherApp(StartupSteps steps);
  ~CLauncherApp();  // deletes the engine
  CLauncherApp(const CLauncherApp&) = delete;
  CLauncherApp& operator=(const CLauncherApp&) = delete;

  // Start-up in its fixed order; the process ends afterwards.
  StartupEnd InitInstance(const std::string& commandLine);

 private:
  StartupSteps steps_;
};

// The process's exit code: 0 for a ready installation, a started game or a launcher that took
// over, 1 for everything else. `windowEndedWell` is the window's verdict on its own run (ready
// or game started); it counts only when start-up ended with the window.
int LauncherExitCode(StartupEnd end, bool windowEndedWell);
