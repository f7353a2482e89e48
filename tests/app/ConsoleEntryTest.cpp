// The built launcher run as a player or a script would run it: its own "--" options, the
// version it reports, and the exit code of a console run.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/Profiles.h"
#include "patch/FileVersion.h"
#include "platform/Clock.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/ServerProcess.h"
#include "window/Catalogue.h"

namespace {

// A launcher copied into a scratch installation, with its own registry and single-instance names.
class CopiedLauncher {
 public:
  CopiedLauncher() {
    std::filesystem::copy_file(BuiltProgram("SolaneLauncher"), Program());
    dir_.Write("bin/xdg-open", "#!/bin/sh\necho \"$1\" > \"" + dir_.PathOf("opened") + "\"\n");
    chmod(dir_.PathOf("bin/xdg-open").c_str(), 0755);
  }
  std::string Program() const { return dir_.PathOf("SolaneLauncher"); }
  const ScratchDir& Dir() const { return dir_; }
  void WriteConfig(const std::string& lines) const { dir_.Write("SolaneLauncher.CFG", "[SolaneLauncher.CFG]\r\n" + lines); }

  ProgramResult Run(const std::vector<std::string>& arguments) const {
    std::vector<std::string> argv{Program()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    const char* path = std::getenv("PATH");
    return RunProgram(argv, {"SOLANE_REGISTRY_DIR=" + dir_.PathOf(".registry"), "XDG_RUNTIME_DIR=" + dir_.Path(),
                             "PATH=" + dir_.PathOf("bin") + ":" + (path ? path : "/usr/bin:/bin"), "DISPLAY=",
                             "WAYLAND_DISPLAY="});
  }

 private:
  ScratchDir dir_;
};

TEST(ConsoleEntry, HelpAndVersionEndAtOnce) {
  CopiedLauncher launcher;
  const ProgramResult help = launcher.Run({"--help", "/LOCALE:USA", "/"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* text : {"/LOCALE:", "/PUBLISHER:", "/WEBARG:", "\" /\"", "--console", "--autorun", "--version"})
    EXPECT_NE(help.output.find(text), std::string::npos) << text << "\n" << help.output;

  EXPECT_EQ(launcher.Run({"--version"}).output, "SolaneLauncher 1.0.0.0\n");
  // The words come from the executable's version note, the one the update check compares.
  ASSERT_TRUE(StampFileVersion(launcher.Program(), 2u << 16 | 3, 4u << 16 | 5));
  const ProgramResult stamped = launcher.Run({"--console", "--version"});
  EXPECT_EQ(stamped.exitCode, 0);
  EXPECT_EQ(stamped.output, "SolaneLauncher 2.3.4.5\n");
}

TEST(ConsoleEntry, DashOptionsNeverReachTheCommandLine) {
  // An empty command line opens this publisher's game page and ends; anything else would update.
  CopiedLauncher launcher;
  launcher.WriteConfig("PUBLISHER=MIRELLA\r\nLOCALE=JAPAN\r\n");
  const ProgramResult run = launcher.Run({"--console", "--autorun"});
  EXPECT_EQ(run.exitCode, 0) << run.output;
  for (int i = 0; i < 100 && !launcher.Dir().Exists("opened"); ++i) platform::SleepMs(20);
  EXPECT_EQ(launcher.Dir().Read("opened").value_or(""), GamePage(kPublisherMirella) + "\n");
  EXPECT_EQ(run.output.find(LoadCatalogueStringIn(kLanguageJapanese, 116)), std::string::npos) << run.output;
}

TEST(ConsoleEntry, ExitCodeTellsAFinishedUpdate) {
  FixtureServer server;
  ASSERT_TRUE(server.IsRunning());
  server.PutFile("patch/Update.NFO",
                 "[SolaneLauncher]\r\nVersionMajorHigh=1\r\nVersionMajorLow=0\r\nVersionMinorHigh=0\r\n"
                 "VersionMinorLow=0\r\nFileName=SolaneLauncher\r\n[SolaneClient]\r\nVersionMajorHigh=1\r\n"
                 "VersionMajorLow=0\r\nVersionMinorHigh=0\r\nVersionMinorLow=0\r\n"
                 "[Resource]\r\nResourceCount=1\r\n1_FileName=Data.SPF\r\n1_Version=5\r\n");
  struct Case {
    const char* what;
    std::string host;
    int exitCode;
  } cases[] = {
      {"current installation", server.Host(), 0},
      {"nobody listens", "127.0.0.1:" + std::to_string(UnusedLoopbackPort()), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CopiedLauncher launcher;
    launcher.WriteConfig("Url_7=" + c.host + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n");
    std::filesystem::copy_file(launcher.Program(), launcher.Dir().PathOf("SolaneClient.exe"));
    launcher.Dir().Write("Data.SPF", std::string("data") + '\x05' + std::string(3, '\0'));
    const ProgramResult run = launcher.Run({"--console", "/EXEC:SolaneLauncher-VANTIK", "/"});
    EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
    // Not a terminal: a log of status lines.
    EXPECT_EQ(run.output.find(LoadCatalogueStringIn(kLanguageKorean, 117) + "\n") != std::string::npos,
              c.exitCode == 0)
        << run.output;
  }
}

}  // namespace
