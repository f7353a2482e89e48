#pragma once
// The launcher's main window on Windows, in Win32 and GDI, for code that includes no system
// header: the engine drives it through LauncherWindow.

#include <memory>

#include "app/Profiles.h"
#include "patch/LauncherWindow.h"
#include "window/ConsoleWindow.h"

class PatchEngine;

class Win32Window : public LauncherWindow {
 public:
  // Attaches the window to the engine, shows it and runs it until it closes; the engine's update
  // (and, with a server list, its latency probe) starts unless `startWork` is false, when another
  // driver plays the engine's part. Detaches the window before it returns. Window thread.
  virtual ConsoleOutcome RunModal(bool startWork = true) = 0;
  // Where the client area's top-left pixel lies on the screen (for tools that look at it).
  virtual void ClientOrigin(int& x, int& y) const = 0;
};

// The window of `layout`, created hidden on the calling thread, which becomes the window's
// thread. `autoRun` ticks the auto-run box at the start. Null when the system refuses the window.
std::unique_ptr<Win32Window> CreateLauncherWindow(PatchEngine& engine, WindowLayout layout, bool autoRun = false);
