// The window lives in a module of its own inside the executable: console runs never map it or the
// toolkit, and the launcher needs no file beside it to load it. libcurl is mapped by the first
// transfer only.

#ifndef _WIN32  // the window module is the Linux build's shared object, and LD_DEBUG its loader's
#include <signal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/WindowModule.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/ServerProcess.h"

namespace {

TEST(WindowModule, RunsMapOnlyWhatTheyUseAndTheLauncherAloneCarriesItsWindow) {
  FixtureServer server;
  ASSERT_TRUE(server.IsRunning());
  // The announcement never finishes: the launcher stays in its update check while its map is read.
  server.PutFile("patch/Update.NFO", "[Version]\n");
  ASSERT_TRUE(server.SetBehaviour("patch/Update.NFO", {.stallAfter = 0}));
  InstalledLauncher installation;
  ASSERT_EQ(installation.Install(BuiltLauncher(), "SolaneLauncher", "1.0.0.0"), "");
  ASSERT_TRUE(installation.Write("SolaneLauncher.CFG", LauncherConfig(server.Port())));

  // Runs that transfer nothing (the loader names every library it maps): --version, and the crash
  // helper (started by a crashing launcher; given no record, it ends at once).
  for (const bool helper : {false, true}) {
    std::vector<std::string> environment = installation.Environment();
    environment.push_back("LD_DEBUG=files");
    if (helper) environment.push_back("SOLANE_CRASH_HELPER_FD=0");
    const ProgramResult run = RunProgram({installation.PathOf("SolaneLauncher"), helper ? "--console" : "--version"}, environment);
    EXPECT_EQ(run.exitCode, helper ? 1 : 0) << run.output;
    EXPECT_NE(run.output.find("libgcrypt"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("libcurl"), std::string::npos) << run.output;
  }

  // Asked for the console while a display is named, and without a display.
  const std::vector<std::string> withDisplay = {"DISPLAY=:99"};
  for (const auto& [arguments, display] : {std::pair{std::vector<std::string>{"SolaneLauncher", "--console"}, withDisplay},
                                           std::pair{std::vector<std::string>{"SolaneLauncher"}, std::vector<std::string>{}}}) {
    ASSERT_TRUE(server.Reset() && server.SetBehaviour("patch/Update.NFO", {.stallAfter = 0}));
    std::vector<std::string> environment = installation.Environment();
    environment.insert(environment.end(), display.begin(), display.end());
    const int pid = installation.Start(arguments, environment);
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 3000 && server.Fetched().empty(); ++i) platform::SleepMs(10);
    const auto mapped = platform::SnapshotModules(pid);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    ASSERT_FALSE(server.Fetched().empty()) << arguments.size();
    ASSERT_TRUE(mapped.has_value());
    bool transfer = false;
    for (const std::string& file : *mapped) {
      EXPECT_EQ(file.find(kWindowModuleName), std::string::npos) << file;
      EXPECT_EQ(file.find("libwx_"), std::string::npos) << file;
      EXPECT_EQ(file.find("libgtk"), std::string::npos) << file;
      transfer = transfer || file.find("libcurl") != std::string::npos;
    }
    EXPECT_TRUE(transfer) << "the map shows no libraries at all";
  }

  // A libcurl that cannot be loaded fails the update with the loader's reason.
  ASSERT_TRUE(installation.Write("lib/libcurl.so.4", "not a library"));
  std::vector<std::string> environment = installation.Environment();
  environment.push_back("LD_LIBRARY_PATH=" + installation.PathOf("lib"));
  const ProgramResult broken = RunProgram({installation.PathOf("SolaneLauncher"), "--console"}, environment);
  EXPECT_EQ(broken.exitCode, 1) << broken.output;
  EXPECT_NE(broken.output.find("ErrorCode : 12004"), std::string::npos) << broken.output;
  EXPECT_NE(broken.output.find("libcurl.so.4"), std::string::npos) << broken.output;

  // Where a display is named, the launcher alone in its folder (as a self-update leaves it) finds
  // its window inside itself; the display cannot be opened, so the run goes on on the console
  // (nobody listens on the server's port: it ends quickly).
  ASSERT_TRUE(installation.Write("SolaneLauncher.CFG", LauncherConfig(UnusedLoopbackPort())));
  environment = installation.Environment();
  environment.push_back("DISPLAY=:99");
  const ProgramResult run = RunProgram({installation.PathOf("SolaneLauncher")}, environment);
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_EQ(run.output.find("The window module"), std::string::npos) << run.output;
  // The update's failure, as the console's boxes tell it.
  EXPECT_NE(run.output.find("[SolaneLauncher]"), std::string::npos) << run.output;
}

}  // namespace
#endif
