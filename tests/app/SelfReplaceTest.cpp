// The launcher's hand-over to a new copy of itself: which command lines may replace a file.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/ServerProcess.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kTag = "/EXEC:SolaneLauncher-VANTIK";

TEST(SelfReplace, OnlyTheCopyInTheTargetsTempFolderMayTakeItsPlace) {
  InstalledLauncher installation;
  const struct {
    const char* launcher;
    const char* target;
  } runs[] = {
      {"a/SolaneLauncher", "b/SolaneLauncher"},       // the same name, but not started from b/Temp
      {"c/Temp/SolaneLauncher", "c/victim"},          // from c/Temp, but another file
      {"d/Temp2/SolaneLauncher", "d/SolaneLauncher"}, // a folder that only begins like Temp
  };
  for (const auto& run : runs) {
    const std::string folder = fs::path(run.launcher).parent_path().string();
    ASSERT_EQ(installation.Install(BuiltLauncher(), run.launcher, "1.0.0.0"), "");
    // Refused, the copy goes on as an ordinary launcher; nobody answers there.
    ASSERT_TRUE(installation.Write(folder + "/SolaneLauncher.CFG", LauncherConfig(UnusedLoopbackPort())));
    const std::string targetFolder = fs::path(run.target).parent_path().string();
    ASSERT_TRUE(installation.Write(targetFolder + "/Temp/.keep", ""));
    ASSERT_TRUE(installation.Write(run.target, "#!/bin/sh\ntouch \"$0.started\"\n"));
    ASSERT_EQ(chmod(installation.PathOf(run.target).c_str(), 0755), 0);
    const std::string before = installation.Read(run.target).value_or("");

    const ProgramResult result =
        installation.Run({"/TO:" + installation.PathOf(run.target), kTag, "/LOCALE:KOREA", "/"}, run.launcher);
    ASSERT_TRUE(installation.WaitUntilNoneRuns(30));
    EXPECT_EQ(result.exitCode, 1) << run.launcher << "\n" << result.output;
    EXPECT_TRUE(installation.Read(run.target) == before) << run.launcher << " replaced its target\n" << result.output;
    EXPECT_FALSE(installation.Exists(std::string(run.target) + ".started")) << run.launcher;
  }
}

}  // namespace
