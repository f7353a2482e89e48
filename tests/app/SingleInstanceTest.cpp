// The real launcher binary against a second process that holds the single-instance mutex.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/NamedMutex.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TestEngine.h"

namespace {

class SingleInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(BuiltProgram("SolaneLauncher"), install_.Path("SolaneLauncher"));
    runtimeDir_ = "XDG_RUNTIME_DIR=" + install_.Path("");
    registryDir_ = "SOLANE_REGISTRY_DIR=" + install_.Path(".registry");
  }
  ProgramResult Launch(const std::string& commandLine) {
    std::vector<std::string> argv = {install_.Path("SolaneLauncher")};
    if (!commandLine.empty()) argv.push_back(commandLine);
    return RunProgram(argv, {runtimeDir_, registryDir_, "DISPLAY=", "WAYLAND_DISPLAY="});
  }
  TestInstallation install_;
  std::string runtimeDir_, registryDir_;
};

TEST_F(SingleInstance, SecondLauncherSaysSoInItsLanguageAndEnds) {
  setenv("XDG_RUNTIME_DIR", install_.Path("").c_str(), 1);
  platform::NamedMutex held("SolaneLauncher-VANTIK");
  ASSERT_EQ(held.status(), platform::NamedMutex::Status::Created);

  install_.WriteConfig("LOCALE=USA\r\n");
  ProgramResult english = Launch("");
  EXPECT_NE(english.output.find("Program is already running now."), std::string::npos) << english.output;

  install_.WriteConfig("LOCALE=KOREA\r\n");
  ProgramResult korean = Launch("");
  EXPECT_EQ(korean.output.find("Program is already running now."), std::string::npos) << korean.output;
  EXPECT_FALSE(korean.output.empty());

  // A launcher started by a launcher does not look at the mutex.
  ProgramResult chained = Launch("/EXEC:SolaneLauncher-VANTIK /LOCALE:USA /");
  EXPECT_EQ(chained.output.find("Program is already running now."), std::string::npos) << chained.output;
}

TEST_F(SingleInstance, FirstLauncherTakesTheName) {
  install_.WriteConfig("LOCALE=USA\r\n");
  ProgramResult alone = Launch("");
  EXPECT_EQ(alone.output.find("Program is already running now."), std::string::npos) << alone.output;
}

}  // namespace
