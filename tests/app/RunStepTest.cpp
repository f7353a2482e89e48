// The command line and the run step in-process: the switches, the web-argument rule, the web
// start of two publishers, and the engine's control flags.

#include <gtest/gtest.h>

#include <chrono>

#include "app/CommandLine.h"
#include "app/Profiles.h"
#include "tests/support/BrowserStandIn.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TestEngine.h"

namespace {

TEST(CommandLine, SwitchesCountOnlyWhenClosedBySpaceSlash) {
  const struct {
    const char* line;
    const char* key;
    const char* value;  // nullptr: the key is absent
  } cases[] = {
      {"/LOCALE:JAPAN /PUBLISHER:KESTRIL", "/LOCALE:", "JAPAN"},
      {"/LOCALE:JAPAN /PUBLISHER:KESTRIL", "/PUBLISHER:", nullptr},
      {"/locale:JAPAN /", "/LOCALE:", nullptr},
      {"//LOCALE:CHINA /", "/LOCALE:", "CHINA"},
      {"/LOCALE:KOREA /LOCALE:JAPAN /", "/LOCALE:", "KOREA"},
      {"/EXEC:SolaneLauncher-VANTIK /WEBARG:a b c /", "/WEBARG:", "a b c"},
      {"/TO:/opt/Solane Games/SolaneLauncher /EXEC:x /", "/TO:", "/opt/Solane Games/SolaneLauncher"},
      {"/WEBARG:http://a/b/c /", "/WEBARG:", "http:/a/b/c"},
      {"text before /LOCALE:USA /", "/LOCALE:", "USA"},
      {"/LOCALE: /", "/LOCALE:", nullptr},
      {"/", "/LOCALE:", nullptr},
  };
  // One table for every line: each Parse starts afresh, so no earlier line's switch is found.
  CCommandLine table;
  for (const auto& c : cases) {
    table.Parse(c.line);
    EXPECT_EQ(table.Get(c.key), c.value ? std::optional<std::string>(c.value) : std::nullopt) << c.line;
    EXPECT_EQ(table.GetOrEmpty(c.key), c.value ? c.value : "") << c.line;
  }
}

TEST(RunStep, WebArgumentRule) {
  const struct {
    const char* line;
    const char* webArgument;
  } cases[] = {
      {"/WEBARG:a b c /", "/WEBARG:a`b`c`/"},
      {"/EXEC:SolaneLauncher-VANTIK /WEBARG:a b c /", "a b c"},
      {"/EXEC:SolaneLauncher-VANTIK /LOCALE:USA /", ""},
      {"token-from-page", "token-from-page"},
  };
  for (const auto& c : cases) {
    TestInstallation install;
    ASSERT_EQ(install.Engine().Run(c.line), StartupEnd::OpenWindow) << c.line;
    EXPECT_EQ(install.Engine().WebArgument(), c.webArgument) << c.line;
  }
}

TEST(RunStep, EmptyCommandLineOpensTheGamePageForTwoPublishers) {
  TestInstallation install;
  const BrowserStandIn browser(install.Path("browser"));
  install.WriteConfig("PUBLISHER=MIRELLA\r\nLOCALE=JAPAN\r\n");
  EXPECT_EQ(install.Engine().Run(""), StartupEnd::GamePageOpened);
  EXPECT_EQ(browser.Opened(), GamePage(kPublisherMirella));

  TestInstallation orvex;
  orvex.WriteConfig("PUBLISHER=ORVEX\r\n");
  EXPECT_EQ(orvex.Engine().Run(""), StartupEnd::OpenWindow);
}

TEST(EngineControl, BarsStatusAndCancel) {
  TestInstallation install;
  PatchEngine& engine = install.Engine();
  engine.SetLocale(kLocaleUsa);
  engine.SetStatusText("before any window");  // nothing to show it on, and no crash

  RecordingWindow window;
  engine.AttachWindow(&window);
  engine.SetFileRange(10 * 1024 + 1023, 0);
  EXPECT_EQ(window.FileBar().upper, 10);
  engine.SetFilePos(-5);
  EXPECT_EQ(window.FileBar().pos, 0);

  engine.SetCancel(true);
  EXPECT_TRUE(engine.IsFinished());
  const std::string finishing = "Finishing Solane launcher. Wait a moment please.";
  EXPECT_EQ(window.LastStatusLine(), finishing);
  engine.SetStatusText("ignored while cancelled");
  EXPECT_EQ(window.LastStatusLine(), finishing);

  // An unchanged flag does nothing, not even the 100 ms pause.
  const auto start = std::chrono::steady_clock::now();
  engine.SetCancel(true, true);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
  engine.SetCancel(false, true);
  EXPECT_TRUE(engine.IsFinished());  // a quiet change leaves finished alone
  engine.AttachWindow(nullptr);
}

}  // namespace
