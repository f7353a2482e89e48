// The main window's actions without a toolkit: the exit procedure's question and the close
// check, the window-mode box and the settings it writes, and the sequence's close.

#include "window/WindowActions.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>

#include "app/Profiles.h"
#include "app/Settings.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/support/TestEngine.h"

namespace {

struct CountingControls final : WindowControls {
  void EndLoop() override { ++loopsEnded; }
  void DisableStartButton() override {}
  int loopsEnded = 0;
};

class WindowActionsTest : public ::testing::Test {
 protected:
  WindowActionsTest() { platform::SetMessageBoxProvider(box_); }
  ~WindowActionsTest() override { platform::SetMessageBoxProvider(nullptr); }

  TestInstallation installation_;
  PatchEngine& engine_ = installation_.Engine();
  std::shared_ptr<platform::ScriptedMessageBox> box_ = std::make_shared<platform::ScriptedMessageBox>();
  CountingControls controls_;
  OpenBoxes boxes_;
  WindowActions actions_{engine_, controls_, boxes_, false, false};
};

TEST_F(WindowActionsTest, ExitAsksWhileTheUpdateRunsAndTheCloseCheckEndsTheWindowOnceStopped) {
  ASSERT_FALSE(engine_.IsIdle());
  box_->QueueAnswer(platform::kResultCancel);
  actions_.ExitProcedure();
  actions_.Tick();
  EXPECT_EQ(std::tuple(box_->Shown().size(), engine_.IsCancelled(), controls_.loopsEnded), std::tuple(1u, false, 0))
      << "Cancel keeps the update going";

  engine_.SetCancel(true, true);  // an error stops the update
  actions_.ExitProcedure();
  actions_.Tick();
  EXPECT_EQ(std::tuple(box_->Shown().size(), controls_.loopsEnded), std::tuple(1u, 0))
      << "an update that is stopping is not asked about again, and its workers have not ended";
  engine_.SetCancel(false, true);

  box_->QueueAnswer(platform::kResultOk);
  actions_.ExitProcedure();
  EXPECT_EQ(controls_.loopsEnded, 0) << "the close check ends the window";
  ASSERT_TRUE(engine_.IsCancelled() && engine_.IsIdle());
  actions_.Tick();
  actions_.Tick();
  actions_.ExitProcedure();
  EXPECT_EQ(std::tuple(box_->Shown().size(), controls_.loopsEnded), std::tuple(2u, 1)) << "ended once, unasked";
  EXPECT_FALSE(actions_.MayOpenBox());
  EXPECT_EQ(actions_.OutcomeOfRun(), ConsoleOutcome::NotFinished);
}

TEST_F(WindowActionsTest, WindowModeBoxReadsAndWritesScreenModeExceptForChina) {
  const struct {
    const char* stored;
    bool ticked;
  } reads[] = {{"WINDOW", true}, {"FULL", false}, {"window", false}, {"", false}};
  for (const auto& read : reads) {
    engine_.WriteSetting(kSettingScreenMode, read.stored);
    EXPECT_EQ(actions_.ReadWindowMode(), read.ticked) << read.stored;
  }
  actions_.SetWindowMode(true);
  actions_.SaveSettings();
  EXPECT_EQ(engine_.ReadSetting(kSettingScreenMode), "WINDOW");
  actions_.SetWindowMode(false);
  engine_.SetLocale(kLocaleChina);
  actions_.SaveSettings();
  EXPECT_EQ(engine_.ReadSetting(kSettingScreenMode), "WINDOW") << "China's window has no such box";
}

// The sequence closes the window from its auto-run step once the start button shows: the game
// runs now. Before that (or for a launcher update) the close is no start.
TEST_F(WindowActionsTest, SequenceCloseCountsAsAStartOnlyOnceTheStartButtonShows) {
  actions_.ClosedBySequence(false);
  EXPECT_NE(actions_.OutcomeOfRun(), ConsoleOutcome::ClientStarted);
  actions_.ClosedBySequence(true);
  actions_.EndWindow();
  EXPECT_EQ(std::pair(actions_.OutcomeOfRun(), controls_.loopsEnded), std::pair(ConsoleOutcome::ClientStarted, 1));
}

}  // namespace
