// The real launcher binary against this process holding the single-instance mutex.

#include <gtest/gtest.h>

#include "platform/NamedMutex.h"
#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ServerProcess.h"
#include "window/Catalogue.h"

namespace {

TEST(SingleInstance, SecondLauncherSaysSoInItsLanguageAndEnds) {
  InstalledLauncher installation;
  ASSERT_EQ(installation.Install(BuiltLauncher(), "SolaneLauncher", "1.0.0.0"), "");
  ScopedEnvironment runtime("XDG_RUNTIME_DIR", installation.RuntimeDir());
  platform::NamedMutex held("SolaneLauncher-VANTIK");
  ASSERT_EQ(held.status(), platform::NamedMutex::Status::Created);

  // Nobody listens on the patch server's port, so a launcher that goes on ends quickly, with the
  // same exit code as a refused one.
  auto output = [&](const std::string& locale, const std::vector<std::string>& arguments) {
    installation.Write("SolaneLauncher.CFG", LauncherConfig(UnusedLoopbackPort(), "LOCALE=" + locale + "\r\n"));
    const ProgramResult result = installation.Run(arguments);
    EXPECT_EQ(result.exitCode, 1) << result.output;
    return result.output;
  };
  const std::string running = "Program is already running now.";
  EXPECT_NE(output("USA", {}).find(running), std::string::npos);
  EXPECT_NE(output("KOREA", {}).find(LoadCatalogueStringIn(kLanguageKorean, 105)), std::string::npos);
  // A launcher started by a launcher does not look at the mutex.
  EXPECT_EQ(output("USA", {"/EXEC:SolaneLauncher-VANTIK", "/"}).find(running), std::string::npos);
}

}  // namespace
