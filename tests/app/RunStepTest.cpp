// The run step in-process: the web-argument rule, the web start of two publishers, and the
// engine's control flags.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>

#include <sys/stat.h>

#include "app/Profiles.h"
#include "platform/Clock.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TestEngine.h"

namespace {

class RunStep : public ::testing::Test {
 protected:
  void SetUp() override {
    boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::SetMessageBoxProvider(boxes_);
  }
  TestInstallation install_;
  std::shared_ptr<platform::ScriptedMessageBox> boxes_;
};

TEST_F(RunStep, WebArgumentRule) {
  struct Case {
    const char* line;
    const char* webArgument;
  } cases[] = {
      {"/WEBARG:a b c /", "/WEBARG:a`b`c`/"},
      {"/EXEC:SolaneLauncher-VANTIK /WEBARG:a b c /", "a b c"},
      {"/EXEC:SolaneLauncher-VANTIK /LOCALE:USA /", ""},
      {"token-from-page", "token-from-page"},
  };
  for (const Case& c : cases) {
    TestInstallation install;
    ASSERT_TRUE(install.Engine().Run(c.line)) << c.line;
    EXPECT_EQ(install.Engine().WebArgument(), c.webArgument) << c.line;
  }
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(RunStep, EmptyCommandLineOpensTheGamePageForTwoPublishers) {
  // A stand-in browser records the address it was asked to open.
  const std::string bin = install_.Path("bin");
  install_.WriteFile("bin/xdg-open", "#!/bin/sh\necho \"$1\" > \"" + install_.Path("opened") + "\"\n");
  ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin + ":" + oldPath).c_str(), 1);

  install_.WriteConfig("PUBLISHER=MIRELLA\r\nLOCALE=JAPAN\r\n");
  EXPECT_FALSE(install_.Engine().Run(""));
  for (int i = 0; i < 100 && install_.ReadFile("opened").empty(); ++i) platform::SleepMs(20);
  EXPECT_EQ(install_.ReadFile("opened"), GamePage(kPublisherMirella) + "\n");

  {
    TestInstallation orvex;
    orvex.WriteConfig("PUBLISHER=ORVEX\r\n");
    EXPECT_TRUE(orvex.Engine().Run(""));
  }
  setenv("PATH", oldPath.c_str(), 1);
}

TEST(EngineControl, CancelStatusAndIdle) {
  TestInstallation install;
  PatchEngine& engine = install.Engine();
  engine.SetLocale(kLocaleUsa);
  engine.SetStatusText("before any window");  // nothing to show it on, and no crash

  RecordingWindow window;
  engine.AttachWindow(&window);
  engine.SetStatusText("Data.SPF");
  EXPECT_EQ(window.LastStatusLine(), "Data.SPF");
  engine.SetFileRange(10 * 1024 + 1023, 0);
  EXPECT_EQ(window.FileBar().upper, 10);
  engine.SetFilePos(-5);
  EXPECT_EQ(window.FileBar().pos, 0);

  engine.SetCancel(true);
  EXPECT_TRUE(engine.IsCancelled());
  EXPECT_TRUE(engine.IsFinished());
  EXPECT_EQ(window.LastStatusLine(), "Finishing Solane launcher. Wait a moment please.");
  engine.SetStatusText("ignored while cancelled");
  EXPECT_EQ(window.LastStatusLine(), "Finishing Solane launcher. Wait a moment please.");

  // An unchanged flag does nothing, not even the 100 ms pause.
  auto start = std::chrono::steady_clock::now();
  engine.SetCancel(true, true);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));

  EXPECT_TRUE(engine.IsIdle());
  engine.SetCopyIdle(false);
  EXPECT_FALSE(engine.IsIdle());
  engine.SetCopyIdle(true);
  engine.SetCancel(false, true);
  EXPECT_TRUE(engine.IsFinished());  // a quiet change leaves finished alone
  engine.AttachWindow(nullptr);
}

}  // namespace
