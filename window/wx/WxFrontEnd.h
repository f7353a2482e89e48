#pragma once
// The front-end that start-up runs where a display is reachable: the skinned main window for the
// length of the update, with the engine's questions as wx message boxes. The window module's
// entry (SolaneWindowModule, see app/WindowModule.h) hands it out with the toolkit's start.

#include "app/WindowModule.h"

class WxFrontEnd final : public WindowFrontEnd {
 public:
  // `autoRun` ticks the window's auto-run box from the start.
  explicit WxFrontEnd(bool autoRun) : autoRun_(autoRun) {}
  // Runs the window until it closes, then waits for the update sequence: when this returns,
  // nothing of the window is left on the screen or in a worker.
  void RunMainWindow(PatchEngine& engine) override;
  ConsoleOutcome Outcome() const override { return outcome_; }

 private:
  bool autoRun_;
  ConsoleOutcome outcome_ = ConsoleOutcome::NotRun;
};

SOLANE_WINDOW_MODULE_EXPORT const WindowModule* SolaneWindowModule();
