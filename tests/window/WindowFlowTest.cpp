// The main window's rules without a toolkit: one start per run, and an end of the window that
// waits for every box open over it, innermost first.

#include "window/WindowFlow.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WindowFlowTest, StartButtonStartsTheGameOncePerRun) {
  OpenBoxes boxes;
  WindowFlow flow(boxes);
  ASSERT_TRUE(flow.BeginStart());
  EXPECT_FALSE(flow.BeginStart()) << "a press while the first start runs (a box of it is open)";
  flow.EndStart(false);
  ASSERT_TRUE(flow.BeginStart()) << "after a failed start the player may try again";
  flow.EndStart(true);
  EXPECT_FALSE(flow.BeginStart()) << "the second click of a double-click";
  EXPECT_TRUE(flow.HasStartedClient());

  WindowFlow autoRun(boxes);
  autoRun.ClientStarted();
  EXPECT_FALSE(autoRun.BeginStart()) << "the update's own start counts as well";
  WindowFlow ending(boxes);
  EXPECT_EQ(ending.RequestEnd(), WindowFlow::Step::EndWindow);
  EXPECT_FALSE(ending.BeginStart()) << "no start from a window that is ending";
}

TEST(WindowFlowTest, EndingWindowEndsEveryOpenBoxInnermostFirstAndEachOnce) {
  OpenBoxes boxes;
  WindowFlow flow(boxes);
  std::string ended;
  EXPECT_EQ(flow.Advance(), WindowFlow::Step::Wait) << "no end was asked for";
  {
    OpenBoxes::Entry about = boxes.Opened([&] { ended += "about "; });
    {
      OpenBoxes::Entry running = boxes.Opened([&] { ended += "running "; });
      EXPECT_EQ(flow.RequestEnd(), WindowFlow::Step::Wait);
      EXPECT_EQ(flow.Advance(), WindowFlow::Step::Wait) << "the innermost box is still returning";
      EXPECT_EQ(ended, "running ") << "only the innermost loop can be left, and only once";
    }
    EXPECT_EQ(flow.Advance(), WindowFlow::Step::Wait);
    EXPECT_EQ(ended, "running about ");
    EXPECT_TRUE(flow.Ending());
  }
  EXPECT_EQ(flow.Advance(), WindowFlow::Step::EndWindow) << "back in the window's own loop";
  EXPECT_EQ(flow.Advance(), WindowFlow::Step::Wait) << "the window is ended once";
  EXPECT_TRUE(boxes.Empty());
}

}  // namespace
