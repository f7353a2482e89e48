#include "window/ConsoleWindow.h"

#include <iostream>

#include "app/Profiles.h"
#include "app/Settings.h"
#include "patch/PatchEngine.h"
#include "platform/Clock.h"
#include "platform/InterruptSignal.h"
#include "platform/MessageBox.h"
#include "platform/TerminalInput.h"
#include "platform/TerminalMessageBox.h"
#include "platform/TerminalText.h"
#include "window/MessageIds.h"

namespace {

constexpr uint32_t kLoopMs = 20;
constexpr const char* kStartPrompt = "Press Enter to start the game, or q and Enter to quit: ";
constexpr const char* kNoticePrefix = "Notice: ";
constexpr const char* kServerPrompt = "Type a server's number to choose it. ";

}  // namespace

// What the message boxes installed by the window share with it; a box may still be returning
// on a worker thread after the window is gone.
struct ConsoleWindow::Shared {
  Shared(std::ostream& out, bool terminal, std::function<uint32_t()> clock) : screen(out, terminal, std::move(clock)) {}

  // The interrupts that arrived since they were last taken; 0 when none did or another taker
  // was quicker. Each interrupt is acted on exactly once.
  unsigned TakeInterrupts() {
    unsigned seen = handledInterrupts.load();
    const unsigned now = platform::InterruptCount();
    if (now == seen || !handledInterrupts.compare_exchange_strong(seen, now)) return 0;
    return now - seen;
  }

  // A Ctrl-C while a question waits answers it: the exit question with OK, any other with the
  // answer that stops rather than repeats.
  int Release(unsigned type) {
    if (TakeInterrupts() == 0) return 0;
    return exitQuestionOpen.load() ? platform::kResultOk : platform::UnattendedAnswer(type);
  }

  void BoxOpening(bool open) {
    if (open) {
      ++boxesOpen;
      screen.Pause();
    } else {
      --boxesOpen;
      screen.Resume();
    }
  }

  ConsoleScreen screen;
  std::atomic<unsigned> handledInterrupts{0};
  std::atomic<bool> exitQuestionOpen{false};
  std::atomic<int> boxesOpen{0};
};

int ConsoleExitCode(ConsoleOutcome outcome) {
  switch (outcome) {
    case ConsoleOutcome::NotRun:
    case ConsoleOutcome::ClientStarted:
    case ConsoleOutcome::Ready:
    case ConsoleOutcome::LauncherUpdate: return 0;
    case ConsoleOutcome::StartFailed:
    case ConsoleOutcome::NotFinished: break;
  }
  return 1;
}

ConsoleWindow::ConsoleWindow(PatchEngine& engine, ConsoleOptions options)
    : engine_(engine),
      options_(std::move(options)),
      interactive_(options_.interactive.value_or(platform::IsTerminal(options_.inputFd))),
      terminalOutput_(options_.terminalOutput.value_or(!options_.out && platform::IsTerminal(1))) {
  std::ostream& out = options_.out ? *options_.out : std::cout;
  shared_ = std::make_shared<Shared>(out, terminalOutput_, options_.clock ? options_.clock : platform::TickCount);
}

ConsoleWindow::~ConsoleWindow() = default;

ConsoleOutcome ConsoleWindow::Run() {
  ownThread_ = std::this_thread::get_id();
  platform::InterruptCatcher catcher;
  shared_->handledInterrupts = platform::InterruptCount();
  std::shared_ptr<platform::MessageBoxProvider> previousBoxes;
  if (options_.terminalBoxes) {
    previousBoxes = platform::CurrentMessageBoxProvider();
    platform::TerminalBoxOptions boxes;
    boxes.inputFd = options_.inputFd;
    boxes.interactive = interactive_;
    boxes.release = [shared = shared_](unsigned type) { return shared->Release(type); };
    boxes.opening = [shared = shared_](bool open) { shared->BoxOpening(open); };
    platform::SetMessageBoxProvider(platform::MakeTerminalMessageBox(std::move(boxes)));
  }

  ReadScreenMode();
  // The stored list and choice come first; the update merges the server's list into them.
  if (engine_.UsesServerList()) engine_.LoadServerFile();
  engine_.AttachWindow(this);
  if (engine_.UsesServerList()) {
    ShowServerRows(0);
    engine_.StartProbe();
  }
  engine_.StartUpdate();
  while (!ShouldEnd()) {
    if (options_.idle) options_.idle();
    shared_->screen.Refresh();
    engine_.PauseUntilSequenceEnds(kLoopMs);
  }
  shared_->screen.Finish();

  // Nothing may reach the window once it is gone: the sequence and the probe have ended or are
  // returning.
  engine_.AttachWindow(nullptr);
  engine_.WaitSequenceThread();
  engine_.WaitProbeThread();
  if (options_.terminalBoxes) platform::SetMessageBoxProvider(previousBoxes);
  return OutcomeOfRun();
}

// --- The engine's output ------------------------------------------------------------------------

void ConsoleWindow::SetStatusLine(const std::string& text) { shared_->screen.SetStatus(text); }
void ConsoleWindow::AnnounceLine(const std::string& text) { shared_->screen.Announce(text); }

void ConsoleWindow::ShowStartupWarnings(const std::vector<std::string>& warnings) {
  if (terminalOutput_) return;
  for (const std::string& warning : warnings) shared_->screen.Announce(warning);
}
void ConsoleWindow::SetFileBarRange(int lowerKiB, int upperKiB) { shared_->screen.SetFileRange(lowerKiB, upperKiB); }
void ConsoleWindow::SetFileBarPos(int posKiB) { shared_->screen.SetFilePos(posKiB); }
void ConsoleWindow::SetTotalBarRange(int lowerKiB, int upperKiB) { shared_->screen.SetTotalRange(lowerKiB, upperKiB); }
void ConsoleWindow::SetTotalBarPos(int posKiB) { shared_->screen.SetTotalPos(posKiB); }

void ConsoleWindow::GetTotalBarRange(int& lowerKiB, int& upperKiB) const {
  const ConsoleBar total = shared_->screen.TotalBar();
  lowerKiB = total.lower;
  upperKiB = total.upper;
}

void ConsoleWindow::SetVersionLine(const std::string& text) { shared_->screen.Announce(text); }

void ConsoleWindow::NavigateNotice(const std::string& address) { shared_->screen.Announce(kNoticePrefix + address); }

void ConsoleWindow::ShowStartButton(bool visible) { startShown_ = visible; }
void ConsoleWindow::ShowExitButton(bool visible) { exitShown_ = visible; }

// --- Settings and the window's procedures ----------------------------------------------------

void ConsoleWindow::ReadScreenMode() {
  // As the main window reads it: only "WINDOW" checks the box; the China layout has none.
  windowMode_ = engine_.GetLocale() != kLocaleChina && engine_.ReadSetting(kSettingScreenMode) == "WINDOW";
}

void ConsoleWindow::SaveSettings() {
  if (engine_.GetLocale() != kLocaleChina)
    engine_.WriteSetting(kSettingScreenMode, windowMode_.load() ? "WINDOW" : "FULL");
  if (engine_.UsesServerList()) engine_.SaveServerFile();
}

void ConsoleWindow::ShowServerRows(int firstRow) {
  serverRowsFrom_ = firstRow;
  if (!engine_.UsesServerList()) return;
  const int count = engine_.EntryCount();
  int top = firstRow < 0 ? serverListTop_.load() : firstRow;
  if (top > count) top = 0;
  serverListTop_ = top;
  engine_.ChooseShownSelection(top, kServerRows);
}

void ConsoleWindow::PrintServerList() {
  const int count = engine_.EntryCount();
  if (count <= 0) return;
  std::string text = "Servers:\n";
  for (int index = 0; index < count; ++index) {
    const std::optional<LoginServerEntry> entry = engine_.EntryAt(index);
    if (!entry) continue;
    text += entry->selected == 1 ? "  * " : "    ";
    text += std::to_string(index + 1) + ". " + platform::TerminalLine(entry->name, 60);
    if (entry->latencyMs > 0) text += "  (" + std::to_string(entry->latencyMs) + " ms)";
    text += "\n";
  }
  shared_->screen.Print(text);
}

bool ConsoleWindow::ChooseServer(const std::string& answer) {
  if (answer.empty() || answer.find_first_not_of("0123456789") != std::string::npos) return false;
  const int number = answer.size() > 6 ? 0 : std::stoi(answer);
  if (number < 1 || !engine_.SelectEntry(number - 1)) {
    shared_->screen.Print("No server has the number " + answer + ".\n");
    return true;
  }
  PrintServerList();
  return true;
}

void ConsoleWindow::RunExitProcedure() {
  if (IsOwnThread())
    ExitProcedure();
  else
    exitRequested_ = true;
}

void ConsoleWindow::CloseWindow() {
  // Once the start is offered, only the auto-run step closes the window from the sequence, and
  // it does so only after the game has started.
  if (startShown_.load() && !IsOwnThread()) clientStarted_ = true;
  closed_ = true;
}

void ConsoleWindow::ExitProcedure() {
  SaveSettings();
  if (engine_.IsIdle()) {
    closed_ = true;
    return;
  }
  // An update that is already stopping (after an error, or after OK before) is not asked about
  // again: answering Cancel would withdraw a cancel that the engine needs.
  if (engine_.IsCancelled()) return;
  shared_->exitQuestionOpen = true;
  const int answer = engine_.ShowMessage(kMessageFinishNow, platform::kBoxOkCancel);
  shared_->exitQuestionOpen = false;
  if (answer == platform::kResultOk) return FinishNow();
  // Cancel keeps the update going; it withdraws only the player's own request, never a cancel
  // that an error set while the question was open.
  engine_.SetCancel(false, true, PatchEngine::CancelRequester::Player);
  // Unattended the question closes unanswered at once; the next Ctrl-C stands for its OK.
  awaitingSecondInterrupt_ = !interactive_;
}

void ConsoleWindow::FinishNow() {
  if (engine_.IsIdle())
    closed_ = true;
  else
    // The close check ends the console once every worker has ended.
    engine_.SetCancel(true, false, PatchEngine::CancelRequester::Player);
}

void ConsoleWindow::PollInterrupts() {
  // A question on the terminal takes the interrupt itself.
  if (shared_->boxesOpen.load() > 0) return;
  const unsigned interrupts = shared_->TakeInterrupts();
  if (interrupts == 0) return;
  // Two at once, or the second after an unattended question, mean "finish now".
  if (interrupts >= 2 || awaitingSecondInterrupt_) {
    awaitingSecondInterrupt_ = false;
    SaveSettings();
    return FinishNow();
  }
  ExitProcedure();
}

bool ConsoleWindow::ShouldEnd() {
  PollInterrupts();
  if (exitRequested_.exchange(false)) ExitProcedure();
  if (closed_) return true;
  // The main window's close check: a cancel request once every worker has ended.
  if (engine_.IsCancelled() && engine_.IsIdle()) return true;
  if (engine_.IsSequenceRunning()) return false;
  // The sequence has ended. A cancelled run only waits for the workers that make it idle.
  if (engine_.IsCancelled()) return !engine_.IsFinished();
  if (!startShown_) return true;
  OfferStart();
  return closed_ || (engine_.IsCancelled() && engine_.IsIdle());
}

// --- The start button ------------------------------------------------------------------------

void ConsoleWindow::OfferStart() {
  // The auto-run step has run by now; had it started the game, the window would be closed.
  if (options_.autorun) startFailed_ = true;
  if (!interactive_) {
    closed_ = true;  // nobody can press start
    return;
  }
  shared_->screen.Finish();
  const bool serverList = engine_.UsesServerList() && engine_.EntryCount() > 0;
  const std::string prompt = serverList ? std::string(kServerPrompt) + kStartPrompt : kStartPrompt;
  if (serverList) PrintServerList();
  shared_->screen.Print(prompt);
  platform::LineReader input(options_.inputFd);
  std::string line;
  while (!closed_ && !engine_.IsCancelled()) {
    if (options_.idle) options_.idle();
    PollInterrupts();
    if (exitRequested_.exchange(false)) ExitProcedure();
    if (closed_ || engine_.IsCancelled()) return;
    switch (input.ReadLine(line, kLoopMs)) {
      case platform::LineReader::Result::Waiting: continue;
      case platform::LineReader::Result::Ended: return ExitProcedure();
      case platform::LineReader::Result::Line: break;
    }
    if (!line.empty() && (line[0] == 'q' || line[0] == 'Q')) return ExitProcedure();
    if (line.empty())
      PressStart();
    else if (serverList)
      ChooseServer(line);
    if (!closed_ && !engine_.IsCancelled()) shared_->screen.Print(prompt);
  }
}

void ConsoleWindow::PressStart() {
  SaveSettings();
  if (!engine_.LaunchClient()) {
    startFailed_ = true;
    return;
  }
  clientStarted_ = true;
  const int locale = engine_.GetLocale();
  // With a server list the latency probe may still run: a quiet cancel lets the close check
  // end the console once it has stopped.
  if (locale == kLocaleChina || locale == kLocaleUsa)
    engine_.SetCancel(true, true, PatchEngine::CancelRequester::Player);
  else
    closed_ = true;
}

ConsoleOutcome ConsoleWindow::OutcomeOfRun() const {
  if (clientStarted_) return ConsoleOutcome::ClientStarted;
  if (engine_.IsLauncherUpdatePending()) return ConsoleOutcome::LauncherUpdate;
  if (startFailed_) return ConsoleOutcome::StartFailed;
  if (engine_.IsFinished() && !engine_.IsCancelled()) return ConsoleOutcome::Ready;
  return ConsoleOutcome::NotFinished;
}

void ConsoleFrontEnd::RunMainWindow(PatchEngine& engine) {
  ConsoleWindow window(engine, options_);
  outcome_ = window.Run();
}
