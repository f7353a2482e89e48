// The console's update flow in-process against the fixture server: the start offer, auto-run,
// the exit code, and Ctrl-C during a download.

#include "window/ConsoleWindow.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/Settings.h"
#include "patch/FileVersion.h"
#include "patch/VersionNoteDefine.h"
#include "platform/Clock.h"
#include "platform/Path.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

// Copies of this program stand in for the launcher and the client; their versions are stamped here.
SOLANE_DEFINE_VERSION_NOTE(0, 0, 0, 1);

namespace {

std::string Pack(const std::string& body, uint32_t version) {
  std::string trailer(4, '\0');
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<char>(version >> (8 * i));
  return body + trailer;
}

std::string Announcement(int packVersion) {
  return "[SolaneLauncher]\r\nVersionMajorHigh=1\r\nVersionMajorLow=0\r\nVersionMinorHigh=0\r\nVersionMinorLow=0\r\n"
         "FileName=SolaneLauncher\r\nVersionDesc=Winter patch\r\n"
         "[SolaneClient]\r\nVersionMajorHigh=1\r\nVersionMajorLow=0\r\nVersionMinorHigh=0\r\nVersionMinorLow=1\r\n"
         "FileName=Game.bin\r\n"
         "[LoginServer]\r\nLoginServerCount=1\r\n1_IP=10.1.2.3\r\n"
         "[Resource]\r\nResourceCount=1\r\n1_FileName=Data.SPF\r\n1_Version=" +
         std::to_string(packVersion) + "\r\n";
}

// Standard error goes to a file while it lives: the terminal boxes print there.
class CapturedErrors {
 public:
  CapturedErrors() : path_(testing::TempDir() + "console-stderr.txt") {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int file = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, STDERR_FILENO);
    close(file);
  }
  ~CapturedErrors() {
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  std::string Text() const {
    std::fflush(stderr);
    std::ifstream file(path_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

 private:
  std::string path_;
  int saved_ = -1;
};

// The player's keyboard: a pipe whose lines are typed in advance.
class TypedInput {
 public:
  explicit TypedInput(const std::string& typed, bool closed) {
    EXPECT_EQ(pipe(fds_), 0);
    EXPECT_EQ(write(fds_[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    if (closed) CloseWriter();
  }
  ~TypedInput() {
    close(fds_[0]);
    CloseWriter();
  }
  int Fd() const { return fds_[0]; }

 private:
  void CloseWriter() {
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
  }
  int fds_[2] = {-1, -1};
};

class ConsoleFlow : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.IsRunning()); }

  // An installation that Update.NFO finds current, except for the pack when `packVersion` is newer.
  void Prepare(TestInstallation& install, int packVersion, bool withClient) {
    install.WriteConfig("Url_7=" + server_.Host() + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n");
    for (auto [name, low] : {std::pair{"SolaneLauncher", 0u}, std::pair{"Game.bin", 1u}}) {
      std::filesystem::copy_file(platform::ExecutablePath(), install.Path(name),
                                 std::filesystem::copy_options::overwrite_existing);
      ASSERT_TRUE(StampFileVersion(install.Path(name), 1u << 16, low));
    }
    install.WriteFile("Data.SPF", Pack("old data", 5));
    server_.PutFile("patch/Update.NFO", Announcement(packVersion));
    if (withClient) {
      // The client stand-in records its command line.
      install.WriteFile("SolaneClient.exe", "#!/bin/sh\necho \"$@\" > \"" + install.Path("client-args") + "\"\n");
      ASSERT_EQ(chmod(install.Path("SolaneClient.exe").c_str(), 0755), 0);
    }
    install.Engine().SetLoginServer("10.1.2.3");
    ASSERT_TRUE(install.Engine().Run("/EXEC:SolaneLauncher-VANTIK /"));
  }

  // The started client's command line; it runs on its own, so a start is waited for.
  static std::string ClientArgs(const TestInstallation& install, bool started) {
    for (int i = 0; started && i < 250 && install.ReadFile("client-args").empty(); ++i) platform::SleepMs(20);
    return install.ReadFile("client-args");
  }

  FixtureServer server_;
};

TEST_F(ConsoleFlow, CurrentInstallationEndsReadyAndStartsAsAsked) {
  struct Case {
    const char* what;
    bool autorun;
    bool interactive;
    const char* typed;
    bool withClient;
    const char* savedMode;  // ScreenMode before the run
    ConsoleOutcome outcome;
    const char* clientArgs;  // empty: the client was not started
    const char* modeAfter;
  } cases[] = {
      {"unattended", false, false, "", true, "WINDOW", ConsoleOutcome::Ready, "", "WINDOW"},
      {"auto-run", true, false, "", true, "WINDOW", ConsoleOutcome::ClientStarted,
       "/Windowed /LoginServer:10.1.2.3 /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX\n", "WINDOW"},
      {"enter starts", false, true, "\n", true, "", ConsoleOutcome::ClientStarted,
       "/Full /LoginServer:10.1.2.3 /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX\n", "FULL"},
      {"other keys ask again, q ends", false, true, "x\nq\n", true, "", ConsoleOutcome::Ready, "", "FULL"},
      {"end of input ends", false, true, "", true, "", ConsoleOutcome::Ready, "", "FULL"},
      {"auto-run without a client", true, false, "", false, "", ConsoleOutcome::StartFailed, "", "FULL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestInstallation install;
    Prepare(install, 5, c.withClient);
    if (HasFatalFailure()) return;
    if (*c.savedMode) install.Engine().WriteSetting(kSettingScreenMode, c.savedMode);
    const std::string completed = LoadCatalogueString(117);
    const std::string cantFind = LoadCatalogueString(102);

    TypedInput input(c.typed, true);
    std::ostringstream out;
    ConsoleOptions options;
    options.autorun = c.autorun;
    options.out = &out;
    options.inputFd = input.Fd();
    options.interactive = c.interactive;
    CapturedErrors errors;
    ConsoleWindow window(install.Engine(), options);
    EXPECT_EQ(window.Run(), c.outcome);

    EXPECT_EQ(ClientArgs(install, *c.clientArgs != 0), c.clientArgs);
    EXPECT_EQ(install.Engine().ReadSetting(kSettingScreenMode), c.modeAfter);
    // A log: each status once, the version line once, and the prompt only where a player can answer.
    const std::string log = out.str();
    EXPECT_NE(log.find(completed + "\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Winter patch\n"), log.rfind("Winter patch\n")) << log;
    EXPECT_NE(log.find("Winter patch\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Press Enter to start") != std::string::npos, c.interactive) << log;
    EXPECT_EQ(errors.Text().find(cantFind) != std::string::npos, !c.withClient) << errors.Text();
    EXPECT_EQ(install.Engine().Window(), nullptr);
  }
}

TEST_F(ConsoleFlow, CtrlCDuringADownloadAsksAndASecondOneCancels) {
  for (bool interactive : {true, false}) {
    SCOPED_TRACE(interactive ? "interactive" : "unattended");
    TestInstallation install;
    server_.Reset();
    Prepare(install, 6, true);
    if (HasFatalFailure()) return;
    server_.PutFile("patch/Data.SPF", Pack(std::string(300000, 'n'), 6));
    server_.SetBehaviour("patch/Data.SPF", {.bytesPerSecond = 20000});
    const std::string question = LoadCatalogueString(118);
    const std::string finishing = LoadCatalogueString(120);

    TypedInput input("", false);  // a player who never types
    std::ostringstream out;
    ConsoleOptions options;
    options.out = &out;
    options.inputFd = input.Fd();
    options.interactive = interactive;
    CapturedErrors errors;
    ConsoleWindow window(install.Engine(), options);
    ConsoleOutcome outcome = ConsoleOutcome::NotRun;
    const auto started = std::chrono::steady_clock::now();
    std::thread console([&] { outcome = window.Run(); });

    auto downloading = [&] {
      for (const RecordedRequest& request : server_.Requests())
        if (request.method == "GET" && request.decodedPath == "/patch/Data.SPF") return true;
      return false;
    };
    for (int i = 0; i < 500 && !downloading(); ++i) platform::SleepMs(10);
    if (!downloading()) {
      install.Engine().SetCancel(true);
      console.join();
      FAIL() << "the pack was never requested";
    }
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

    EXPECT_EQ(outcome, ConsoleOutcome::NotFinished);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_TRUE(install.Engine().IsCancelled());
    EXPECT_EQ(install.ReadFile("Data.SPF"), Pack("old data", 5));
    EXPECT_NE(out.str().find(finishing + "\n"), std::string::npos) << out.str();
    EXPECT_EQ(ConsoleExitCode(outcome), 1);
  }
}

}  // namespace
