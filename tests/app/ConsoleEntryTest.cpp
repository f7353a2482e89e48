// The built launcher run as a script would run it: its own "--" options. (That they never reach
// the command line shows in the end-to-end runs, whose client would otherwise receive them as a
// web argument; the exit codes show there and in the single-instance runs.)

#include <gtest/gtest.h>

#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"

namespace {

TEST(ConsoleEntry, HelpAndVersionEndAtOnce) {
  InstalledLauncher installation;
  ASSERT_EQ(installation.Install(BuiltLauncher(), "SolaneLauncher", "2.3.4.5"), "");
  const ProgramResult help = installation.Run({"--help", "/LOCALE:USA", "/"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* text : {"/LOCALE:", "/PUBLISHER:", "/WEBARG:", "\" /\"", "--console", "--autorun", "--version"})
    EXPECT_NE(help.output.find(text), std::string::npos) << text << "\n" << help.output;

  // The words come from the executable's version note, the one the update check compares.
  const ProgramResult version = installation.Run({"--console", "--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.output, "SolaneLauncher 2.3.4.5\n");
}

}  // namespace
