// The built launcher run as a script would run it: its own "--" options, and a second launcher
// beside a running one. (That the options never reach the command line shows in the end-to-end
// runs, whose client would otherwise receive them as a web argument.)

#include <gtest/gtest.h>

#include <filesystem>

#include "app/EntryOptions.h"
#include "platform/NamedMutex.h"
#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ServerProcess.h"
#include "window/Catalogue.h"

namespace {

TEST(ConsoleEntry, HelpVersionAndASecondInstanceEndAtOnce) {
  InstalledLauncher installation;
  ASSERT_EQ(installation.Install(BuiltLauncher(), kLauncherName, "2.3.4.5"), "");
  const ProgramResult help = installation.Run({"--help", "/LOCALE:USA", "/"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* text : {"/LOCALE:", "/PUBLISHER:", "/WEBARG:", "\" /\"", "--console", "--autorun", "--version",
                           "--verify", "--limit-rate=KBPS"})
    EXPECT_NE(help.output.find(text), std::string::npos) << text << "\n" << help.output;

  // The words come from the executable's version note, the one the update check compares.
  const ProgramResult version = installation.Run({"--console", "--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.output, "SolaneLauncher 2.3.4.5\n");

  EXPECT_EQ(installation.Run({"-h"}).output, help.output);

  // A limit that is no number, or an option the launcher does not know, stops it with the usage
  // before it touches anything.
  for (const char* option : {"--limit-rate=fast", "--bogus", "--verfy"}) {
    const ProgramResult refused = installation.Run({"--console", option});
    EXPECT_EQ(refused.exitCode, 2) << option;
    EXPECT_NE(refused.output.find(option), std::string::npos) << refused.output;
    EXPECT_NE(refused.output.find("Usage: "), std::string::npos) << refused.output;
  }
  EXPECT_FALSE(installation.Exists("Temp"));

  // A configuration file that exists but cannot be read is named with the system's reason.
  ASSERT_TRUE(std::filesystem::create_directory(installation.PathOf("SolaneLauncher.CFG")));
  const ProgramResult unreadable = installation.Run({"--console"});
  EXPECT_EQ(unreadable.exitCode, 1);
  EXPECT_NE(unreadable.output.find(installation.PathOf("SolaneLauncher.CFG") + ": Is a directory"), std::string::npos)
      << unreadable.output;
  EXPECT_FALSE(installation.Exists("Temp"));
  std::filesystem::remove(installation.PathOf("SolaneLauncher.CFG"));

  // A second launcher beside this process, which holds the single-instance mutex, says so in its
  // language. Nobody listens on the patch server's port, so a launcher that goes on ends quickly,
  // with the same exit code as a refused one.
  ScopedEnvironment runtime("XDG_RUNTIME_DIR", installation.RuntimeDir());
  platform::NamedMutex held("SolaneLauncher-VANTIK");
  ASSERT_EQ(held.status(), platform::NamedMutex::Status::Created);
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

// The player's choices for the update are read, kept off the command line, and carried to the
// launchers that continue the run after a hand-over.
TEST(ConsoleEntry, UpdateOptionsAreReadAndCarriedAlong) {
  const EntryOptions options = ExtractEntryOptions({"--verify", "/LOCALE:USA", "--limit-rate=300", "--console", "/"});
  EXPECT_TRUE(options.verify);
  EXPECT_EQ(options.limitRateKBps, 300u);
  EXPECT_EQ(options.commandLine, "/LOCALE:USA /");
  EXPECT_EQ(HandOverOptions(options), "--console --verify --limit-rate=300");
  EXPECT_EQ(HandOverOptions(ExtractEntryOptions({"--limit-rate=0"})), "");
  for (const char* bad : {"--limit-rate=", "--limit-rate=-1", "--limit-rate=12k", "--limit-rate=99999999999"})
    EXPECT_NE(ExtractEntryOptions({bad}).error, "") << bad;
}

}  // namespace
