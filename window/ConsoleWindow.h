#pragma once
// The launcher on a terminal: the window the engine drives, for machines without a display
// (servers, containers, a player over SSH). It follows the main window's flow: it starts the
// update, shows its progress, asks the engine's questions on the terminal, and at the end of a
// successful update offers the start (Enter starts the game, q ends) or, with auto-run, starts
// at once. Ctrl-C runs the exit procedure; a second Ctrl-C answers its question with OK.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "app/LauncherApp.h"
#include "patch/LauncherWindow.h"
#include "window/ConsoleScreen.h"

class PatchEngine;

struct ConsoleOptions {
  // The auto-run box: start the game as soon as the update has finished.
  bool autorun = false;
  // Where progress goes; standard output when null.
  std::ostream* out = nullptr;
  // Draw in place; by default, when `out` is standard output and that is a terminal.
  std::optional<bool> terminalOutput;
  // Where answers come from.
  int inputFd = 0;
  // Whether the player can be asked; by default, whether the input is a terminal. Unattended,
  // every question takes its safe answer and the start is not offered.
  std::optional<bool> interactive;
  // Ask the engine's questions on the terminal while the console runs (off where another kind
  // of message box is in force).
  bool terminalBoxes = true;
  // Milliseconds for the redraw limit; the system tick when empty.
  std::function<uint32_t()> clock;
  // Called on every pass of the console's loop (another toolkit's pending work).
  std::function<void()> idle;
};

// How a console run ended.
enum class ConsoleOutcome {
  NotRun,          // start-up ended before the window
  ClientStarted,   // the game was started
  Ready,           // the update finished; the game was not asked to start
  LauncherUpdate,  // a new launcher was downloaded and takes over
  StartFailed,     // the update finished but the asked start failed
  NotFinished,     // cancelled, failed, or stopped before the end
};

// 0 for a run that ended in a ready installation, a started game or a launcher update; 1 else.
int ConsoleExitCode(ConsoleOutcome outcome);

// The engine's window on a terminal. Every LauncherWindow method may be called from any
// thread; Run() is the window's own thread.
class ConsoleWindow final : public LauncherWindow {
 public:
  ConsoleWindow(PatchEngine& engine, ConsoleOptions options);
  ~ConsoleWindow() override;
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  // Attaches to the engine, starts the update and runs until the window closes; detaches and
  // waits for the update sequence before it returns.
  ConsoleOutcome Run();

  void SetStatusLine(const std::string& text) override;
  void AnnounceLine(const std::string& text) override;
  // Printed into a log; on a terminal standard error has shown them before the console began.
  void ShowStartupWarnings(const std::vector<std::string>& warnings) override;
  void SetFileBarRange(int lowerKiB, int upperKiB) override;
  void SetFileBarPos(int posKiB) override;
  void SetTotalBarRange(int lowerKiB, int upperKiB) override;
  void SetTotalBarPos(int posKiB) override;
  void GetTotalBarRange(int& lowerKiB, int& upperKiB) const override;
  void SetVersionLine(const std::string& text) override;
  void NavigateNotice(const std::string& address) override;
  void ShowStartButton(bool visible) override;
  void ShowExitButton(bool visible) override;
  bool IsAutoRunChecked() const override { return options_.autorun; }
  bool IsWindowModeChecked() const override { return windowMode_.load(); }
  void SaveSettings() override;
  // From another thread the procedure is handed to the console's own thread.
  void RunExitProcedure() override;
  void CloseWindow() override;
  // The rows a window would draw from `firstRow` (negative: where the list last stood): a stored
  // selection among them becomes the chosen login server, as a drawn selected row does.
  void ShowServerRows(int firstRow) override;
  int ServerListTop() const override { return serverListTop_.load(); }
  // The console prints the list with its latencies when it offers the start; there is no row
  // to redraw meanwhile.
  void SetServerRowLatency(int, int, const std::string&) override {}

  int ServerRowsAskedFrom() const { return serverRowsFrom_.load(); }

 private:
  struct Shared;

  bool IsOwnThread() const { return std::this_thread::get_id() == ownThread_.load(); }
  void ReadScreenMode();
  void PollInterrupts();
  void ExitProcedure();
  void FinishNow();
  void OfferStart();
  void PressStart();
  // Regions with a server list: prints it and reads a choice by number; false when the answer
  // was not a number and is left to the start prompt.
  void PrintServerList();
  bool ChooseServer(const std::string& answer);
  bool ShouldEnd();
  ConsoleOutcome OutcomeOfRun() const;

  PatchEngine& engine_;
  const ConsoleOptions options_;
  const bool interactive_;
  const bool terminalOutput_;
  std::shared_ptr<Shared> shared_;  // outlives the window inside the message boxes it installs

  std::atomic<std::thread::id> ownThread_{};
  std::atomic<bool> windowMode_{false};
  std::atomic<bool> startShown_{false};
  std::atomic<bool> exitShown_{false};
  std::atomic<bool> exitRequested_{false};
  std::atomic<bool> closed_{false};
  std::atomic<bool> clientStarted_{false};
  std::atomic<bool> startFailed_{false};
  std::atomic<int> serverRowsFrom_{-1};
  std::atomic<int> serverListTop_{0};
  bool awaitingSecondInterrupt_ = false;  // own thread only
};

// The front-end that start-up runs: a ConsoleWindow for the length of the main window.
class ConsoleFrontEnd final : public LauncherFrontEnd {
 public:
  explicit ConsoleFrontEnd(ConsoleOptions options) : options_(std::move(options)) {}
  void RunMainWindow(PatchEngine& engine) override;
  ConsoleOutcome Outcome() const { return outcome_; }

 private:
  ConsoleOptions options_;
  ConsoleOutcome outcome_ = ConsoleOutcome::NotRun;
};
