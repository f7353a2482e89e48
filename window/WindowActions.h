#pragma once
// What the main window's buttons, boxes and close do, whatever toolkit draws it: the exit
// procedure with its question (message 118) and the close check, the start, exit and
// registration buttons, the window-mode and auto-run boxes and the settings they write, and the
// outcome of a run. The toolkit creates the controls, forwards their events here and does what
// WindowControls asks of it.

#include <atomic>

#include "window/ConsoleWindow.h"
#include "window/WindowFlow.h"

class PatchEngine;

// The toolkit's side of the actions. Window thread only.
class WindowControls {
 public:
  virtual ~WindowControls() = default;
  // Ends the window's own loop (the flow gives this once).
  virtual void EndLoop() = 0;
  // The game has started from the start button: the button takes no more presses.
  virtual void DisableStartButton() = 0;
};

class WindowActions {
 public:
  // `serverRows`: the layout shows the login server list, whose probe may still run once the
  // game has started. `autoRun` ticks the auto-run box at the start (the command line's --autorun).
  WindowActions(PatchEngine& engine, WindowControls& controls, OpenBoxes& boxes, bool serverRows, bool autoRun);

  // --- The boxes (any thread reads them; the window thread sets them) ----------------------
  // The window-mode box starts ticked only when ScreenMode reads "WINDOW" ("FULL" and anything
  // else leave it unticked).
  bool ReadWindowMode();
  void SetWindowMode(bool checked) { windowMode_ = checked; }
  bool WindowMode() const { return windowMode_.load(); }
  void SetAutoRun(bool checked) { autoRun_ = checked; }
  bool AutoRun() const { return autoRun_.load(); }
  // Writes ScreenMode (not for China, whose window has no such box) and the server list.
  void SaveSettings();

  // --- The player's actions (window thread) ------------------------------------------------
  // The exit button, the title bar's close and Esc: ends the window when the engine is idle,
  // else asks whether to stop the update (an update already stopping is not asked about again).
  void ExitProcedure();
  void StartPressed();
  void RegistrationPressed();
  // Whether a new box (the About box) may open: not over a window that is ending.
  bool MayOpenBox() const { return !flow_.Ending(); }

  // --- Running (window thread) -------------------------------------------------------------
  // On every timer tick and idle pass: runs the exit procedure once a cancelled engine is idle,
  // and goes on ending the boxes over an ending window.
  void Tick();
  // Ends the window: first every box open over it, then the window's own loop.
  void EndWindow();
  ConsoleOutcome OutcomeOfRun() const;

  // --- The engine's sequence (its thread) --------------------------------------------------
  // The sequence closes the window. Once the start button shows, it does so only from its
  // auto-run step, after the game has started.
  void ClosedBySequence(bool startButtonShown);

 private:
  void CloseCheck();

  PatchEngine& engine_;
  WindowControls& controls_;
  const bool serverRows_;
  WindowFlow flow_;
  bool exitQuestionOpen_ = false;
  std::atomic<bool> windowMode_{false};
  std::atomic<bool> autoRun_;
};
