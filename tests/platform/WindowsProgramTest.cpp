#include "platform/WindowsProgram.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "platform/Process.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchDir.h"

using namespace platform;

namespace {

std::string WaitForFile(const ScratchDir& scratch, const std::string& name) {
  for (int i = 0; i < 100; ++i) {
    if (auto text = scratch.Read(name); text && !text->empty() && text->back() == '\n') return *text;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

TEST(WindowsProgramTest, StartsAWindowsProgramThroughWineInItsFolderOrRefusesItWithoutWine) {
  ScratchDir scratch;
  const std::string wine = scratch.Write("bin/fake-wine",
                                         "#!/bin/sh\necho \"$PWD|$WINEPREFIX|$*\" > \"${0%/*}/../started\"\n");
  const std::string native = scratch.Write("game/native.sh", "#!/bin/sh\necho native > \"${0%/*}/../native\"\n");
  chmod(wine.c_str(), 0755);
  chmod(native.c_str(), 0755);
  scratch.Write("game/SolaneClient.exe", "MZ\x90");
  const std::string game = scratch.PathOf("game");
  {
    ScopedEnvironment wineProgram("WINE", wine);
    ScopedEnvironment prefix("WINEPREFIX", "/players/prefix");
    EXPECT_TRUE(IsWindowsProgram(scratch.PathOf("game/SolaneClient.exe")));
    // The launcher's own names may differ in letter case from the files, as on Windows.
    ASSERT_EQ(StartProgramOrThroughWine(game, "solaneclient.EXE", "/Full /LOCALE:USA"), kStartOk);
    EXPECT_EQ(WaitForFile(scratch, "started"),
              game + "|/players/prefix|" + scratch.PathOf("game/SolaneClient.exe") + " /Full /LOCALE:USA\n");
  }

  ScopedEnvironment noWine("WINE", std::nullopt);
  ScopedEnvironment path("PATH", scratch.PathOf("empty"));
  EXPECT_EQ(WineProgram(), "");
  EXPECT_EQ(StartProgramOrThroughWine(game, "SolaneClient.exe", ""), kStartWineMissing);
  {
    ScopedEnvironment missing("WINE", scratch.PathOf("nowhere/wine"));
    EXPECT_EQ(StartProgramOrThroughWine(game, "SolaneClient.exe", ""), kStartWineMissing);
  }
  EXPECT_EQ(StartProgramOrThroughWine(game, "native.sh", ""), kStartOk);  // a native program still starts
  EXPECT_EQ(WaitForFile(scratch, "native"), "native\n");
}

}  // namespace
