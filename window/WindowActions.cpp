#include "window/WindowActions.h"

#include "app/Profiles.h"
#include "app/Settings.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "window/MessageIds.h"

WindowActions::WindowActions(PatchEngine& engine, WindowControls& controls, OpenBoxes& boxes, bool serverRows,
                             bool autoRun)
    : engine_(engine), controls_(controls), serverRows_(serverRows), flow_(boxes), autoRun_(autoRun) {}

bool WindowActions::ReadWindowMode() {
  windowMode_ = engine_.ReadSetting(kSettingScreenMode) == "WINDOW";
  return windowMode_.load();
}

void WindowActions::SaveSettings() {
  if (engine_.GetLocale() != kLocaleChina)
    engine_.WriteSetting(kSettingScreenMode, windowMode_.load() ? "WINDOW" : "FULL");
  if (engine_.UsesServerList()) engine_.SaveServerFile();
}

void WindowActions::ExitProcedure() {
  if (flow_.Ending() || exitQuestionOpen_) return;
  SaveSettings();
  if (engine_.IsIdle()) return EndWindow();
  // An update that is already stopping (after an error, or after OK before) is not asked about
  // again: Cancel would withdraw the cancel request that the stop needs.
  if (engine_.IsCancelled()) return;
  exitQuestionOpen_ = true;
  const int answer = engine_.ShowMessage(kMessageFinishNow, platform::kBoxOkCancel);
  exitQuestionOpen_ = false;
  if (flow_.Ending()) return;
  if (answer != platform::kResultOk) {
    // Cancel keeps the update going; it withdraws only the player's own request, never a
    // cancel that an error set while the question was open.
    engine_.SetCancel(false, true, PatchEngine::CancelRequester::Player);
    return;
  }
  if (engine_.IsIdle()) return EndWindow();
  // The close check ends the window once every worker has ended.
  engine_.SetCancel(true, false, PatchEngine::CancelRequester::Player);
}

void WindowActions::StartPressed() {
  // A press while a start runs, after the game has started or while the window ends does
  // nothing: one run starts the game once.
  if (!flow_.BeginStart()) return;
  SaveSettings();
  const bool started = engine_.LaunchClient();
  flow_.EndStart(started);
  if (!started) return;
  controls_.DisableStartButton();
  // With a server list the latency probe may still run: a quiet cancel lets the close check
  // end the window once it has stopped.
  if (serverRows_)
    engine_.SetCancel(true, true, PatchEngine::CancelRequester::Player);
  else
    EndWindow();
}

void WindowActions::RegistrationPressed() {
  if (engine_.GetLocale() == kLocaleChina) engine_.OpenBrowser(RegistrationPage());
}

void WindowActions::Tick() {
  CloseCheck();
  if (flow_.Advance() == WindowFlow::Step::EndWindow) controls_.EndLoop();
}

void WindowActions::CloseCheck() {
  // The exit question decides for itself once it is answered.
  if (flow_.Ending() || exitQuestionOpen_) return;
  if (engine_.IsCancelled() && engine_.IsIdle()) ExitProcedure();
}

void WindowActions::EndWindow() {
  if (flow_.Ending()) return;
  if (flow_.RequestEnd() == WindowFlow::Step::EndWindow) controls_.EndLoop();
}

ConsoleOutcome WindowActions::OutcomeOfRun() const {
  if (flow_.HasStartedClient()) return ConsoleOutcome::ClientStarted;
  if (engine_.IsLauncherUpdatePending()) return ConsoleOutcome::LauncherUpdate;
  if (engine_.IsFinished() && !engine_.IsCancelled()) return ConsoleOutcome::Ready;
  return ConsoleOutcome::NotFinished;
}

void WindowActions::ClosedBySequence(bool startButtonShown) {
  if (startButtonShown && !engine_.IsLauncherUpdatePending()) flow_.ClientStarted();
}
