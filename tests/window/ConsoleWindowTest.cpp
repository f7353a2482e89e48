// The console's update flow in-process against the fixture server: the start offer, auto-run,
// the server-list choice, and Ctrl-C during a download.

#include "window/ConsoleWindow.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>
#include <thread>
#include <utility>

#include "app/Settings.h"
#include "patch/FileVersion.h"
#include "patch/VersionNoteDefine.h"
#include "platform/Clock.h"
#include "platform/Path.h"
#include "servers/ServerFile.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

// Copies of this program stand in for the launcher and the client; their versions are stamped here.
SOLANE_DEFINE_VERSION_NOTE(0, 0, 0, 1);

namespace {

std::string Announcement(int packVersion) {
  return "[SolaneLauncher]\r\nVersionMajorHigh=1\r\nVersionMajorLow=0\r\nVersionMinorHigh=0\r\nVersionMinorLow=0\r\n"
         "FileName=SolaneLauncher\r\nVersionDesc=Winter patch\r\n"
         "[SolaneClient]\r\nVersionMajorHigh=1\r\nVersionMajorLow=0\r\nVersionMinorHigh=0\r\nVersionMinorLow=1\r\n"
         "FileName=Game.bin\r\n[LoginServer]\r\nLoginServerCount=1\r\n1_IP=10.1.2.3\r\n"
         "[Resource]\r\nResourceCount=1\r\n1_FileName=Data.SPF\r\n1_Version=" +
         std::to_string(packVersion) + "\r\n";
}

// Standard error goes to a file while it lives (the terminal boxes print there); Text() may be
// read at any time.
struct CapturedErrors {
  CapturedErrors() {
    const int file = open(dir.PathOf("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, STDERR_FILENO);
    close(file);
  }
  ~CapturedErrors() {
    dup2(saved, STDERR_FILENO);
    close(saved);
  }
  std::string Text() const { return dir.Read("stderr").value_or(""); }
  ScratchDir dir;
  const int saved = dup(STDERR_FILENO);
};

// The player's keyboard: a pipe with lines typed in advance, closed after them or left open.
struct TypedInput {
  TypedInput(const std::string& typed, bool closed) {
#ifdef _WIN32
    EXPECT_EQ(_pipe(fds, 4096, _O_BINARY), 0);
#else
    EXPECT_EQ(pipe(fds), 0);
#endif
    EXPECT_EQ(write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    if (closed) close(std::exchange(fds[1], -1));
  }
  ~TypedInput() {
    for (int fd : fds)
      if (fd >= 0) close(fd);
  }
  int fds[2] = {-1, -1};
};

class ConsoleFlow : public ::testing::Test {
 protected:
  // An installation that Update.NFO finds current, except for the pack when `packVersion` is
  // newer; its client records its command line.
  void Prepare(TestInstallation& install, int packVersion, bool withClient, const std::string& moreConfig = "") {
    ASSERT_TRUE(server_.IsRunning());
    install.WriteConfig("Url_7=" + server_.Host() + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n" + moreConfig);
    for (auto [name, low] : {std::pair{"SolaneLauncher", 0u}, std::pair{"Game.bin", 1u}}) {
      std::filesystem::copy_file(platform::ExecutablePath(), install.Path(name));
      ASSERT_TRUE(StampFileVersion(install.Path(name), 1u << 16, low));
    }
    install.WriteFile("Data.SPF", PackBytes("old data", 5));
    server_.PutFile("patch/Update.NFO", Announcement(packVersion));
    if (withClient) {
      std::filesystem::copy_file(SOLANE_CLIENT_STANDIN, install.Path("SolaneClient.exe"));
    }
    ASSERT_EQ(install.Engine().Run("/EXEC:SolaneLauncher-VANTIK /"), StartupEnd::OpenWindow);
  }

  // The started client's command line, which the stand-in records beside itself; it runs on its
  // own, so a start is waited for, and so is its end: a client still running would make the next
  // case's launcher refuse to start another.
  static std::string ClientArgs(TestInstallation& install, bool started) {
    for (int i = 0; started && i < 250 && install.ReadFile("SolaneClient.log").empty(); ++i) platform::SleepMs(20);
    for (int i = 0; started && i < 500 && install.Engine().IsClientRunning(); ++i) platform::SleepMs(20);
    return install.ReadFile("SolaneClient.log");
  }

  FixtureServer server_;
};

TEST_F(ConsoleFlow, CurrentInstallationEndsReadyAndStartsAsAsked) {
  const struct {
    bool autorun;
    bool interactive;
    const char* typed;
    bool withClient;
    const char* savedMode;  // ScreenMode before the run
    ConsoleOutcome outcome;
    const char* clientArgs;  // empty: the client was not started
    const char* modeAfter;
  } cases[] = {
      {false, false, "", true, "WINDOW", ConsoleOutcome::Ready, "", "WINDOW"},
      {true, false, "", true, "WINDOW", ConsoleOutcome::ClientStarted,
       "/Windowed /LoginServer:10.1.2.3 /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX\n", "WINDOW"},
      {false, true, "\n", true, "", ConsoleOutcome::ClientStarted,
       "/Full /LoginServer:10.1.2.3 /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX\n", "FULL"},
      {false, true, "x\nq\n", true, "", ConsoleOutcome::Ready, "", "FULL"},  // other keys ask again, q ends
      {false, true, "", true, "", ConsoleOutcome::Ready, "", "FULL"},        // so does the end of input
      {true, false, "", false, "", ConsoleOutcome::StartFailed, "", "FULL"},
  };
  for (const auto& c : cases) {
    TestInstallation install;
    ASSERT_NO_FATAL_FAILURE(Prepare(install, 5, c.withClient));
    if (*c.savedMode) install.Engine().WriteSetting(kSettingScreenMode, c.savedMode);

    TypedInput input(c.typed, true);
    std::ostringstream out;
    CapturedErrors errors;
    ConsoleWindow window(install.Engine(),
                         {.autorun = c.autorun, .out = &out, .inputFd = input.fds[0], .interactive = c.interactive});
    EXPECT_EQ(window.Run(), c.outcome) << c.typed;

    EXPECT_EQ(ClientArgs(install, *c.clientArgs != 0), c.clientArgs);
    EXPECT_EQ(install.Engine().ReadSetting(kSettingScreenMode), c.modeAfter);
    // A log: the version line, and the prompt only where a player can answer.
    const std::string log = out.str();
    EXPECT_NE(log.find("Winter patch\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Press Enter to start") != std::string::npos, c.interactive) << log;
    EXPECT_EQ(errors.Text().find(LoadCatalogueString(102)) != std::string::npos, !c.withClient) << errors.Text();
    EXPECT_EQ(install.Engine().Window(), nullptr);
  }
}

TEST_F(ConsoleFlow, ServerListChoiceStartsThatServerAndIsRemembered) {
  TestInstallation install;
  ASSERT_NO_FATAL_FAILURE(Prepare(install, 5, true, "LOCALE=USA\r\n"));
  server_.PutFile("patch/Update.NFO", Announcement(5) +
                                          "[LoginServerList]\r\nLoginServerListCount=2\r\n"
                                          "1_Name=North\r\n1_Label=north\r\n1_IP=127.0.0.1\r\n"
                                          "2_Name=South\r\n2_Label=south\r\n2_IP=127.0.0.2\r\n");

  // A number that names no server is refused; the second server is chosen, then Enter starts.
  TypedInput input("7\n2\n\n", true);
  std::ostringstream out;
  CapturedErrors errors;
  ConsoleWindow window(install.Engine(), {.out = &out, .inputFd = input.fds[0], .interactive = true});
  EXPECT_EQ(window.Run(), ConsoleOutcome::ClientStarted);

  EXPECT_EQ(ClientArgs(install, true), "/Full /LoginServer:127.0.0.2 /Run:VHIGH /LOCALE:USA /PUBLISHER:QUADRIUM\n");
  EXPECT_NE(out.str().find("No server has the number 7."), std::string::npos) << out.str();
  // The list is numbered and marks the chosen server.
  EXPECT_NE(out.str().find("    1. North"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("  * 2. South"), std::string::npos) << out.str();
  // The start saved the list with the choice, for the next run.
  const auto saved = ReadServerFile(install.Path("SERVER.DAT"));
  ASSERT_TRUE(saved.has_value() && saved->size() == 2);
  EXPECT_EQ(std::pair((*saved)[0].selected, (*saved)[1].selected), std::pair(0, 1));
}

TEST_F(ConsoleFlow, CtrlCDuringADownloadAsksAndASecondOneCancels) {
  for (bool interactive : {true, false}) {
    TestInstallation install;
    server_.Reset();
    ASSERT_NO_FATAL_FAILURE(Prepare(install, 6, true));
    server_.PutFile("patch/Data.SPF", PackBytes(std::string(300000, 'n'), 6));
    server_.SetBehaviour("patch/Data.SPF", {.bytesPerSecond = 20000});
    const std::string question = LoadCatalogueString(118);

    TypedInput input("", false);  // a player who never types
    std::ostringstream out;
    CapturedErrors errors;
    ConsoleWindow window(install.Engine(), {.out = &out, .inputFd = input.fds[0], .interactive = interactive});
    ConsoleOutcome outcome = ConsoleOutcome::NotRun;
    std::thread console([&] { outcome = window.Run(); });

    for (int i = 0; i < 500 && std::ranges::count(server_.Fetched(), "/patch/Data.SPF") == 0; ++i)
      platform::SleepMs(10);
    platform::SleepMs(200);
    std::raise(SIGINT);
    for (int i = 0; i < 500 && errors.Text().find(question) == std::string::npos; ++i) platform::SleepMs(10);
    EXPECT_NE(errors.Text().find(question), std::string::npos);
    // Unattended the question takes Cancel at once and the update goes on until the next Ctrl-C.
    if (!interactive) {
      platform::SleepMs(300);
      EXPECT_FALSE(install.Engine().IsCancelled());
    }
    std::raise(SIGINT);
    console.join();

    EXPECT_EQ(outcome, ConsoleOutcome::NotFinished) << (interactive ? "interactive" : "unattended");
    EXPECT_EQ(install.ReadFile("Data.SPF"), PackBytes("old data", 5));
    EXPECT_NE(out.str().find(LoadCatalogueString(120) + "\n"), std::string::npos) << out.str();
  }
}

}  // namespace
