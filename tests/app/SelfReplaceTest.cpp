// The launcher's hand-over to a new copy of itself: the text that each launcher of the chain
// receives, with stand-in launchers that record how they were started. Which copies may replace
// a file is the end-to-end test's.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "app/EntryOptions.h"
#include "app/LauncherApp.h"
#include "platform/Clock.h"
#include "platform/Path.h"
#include "platform/ProgramArguments.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

namespace fs = std::filesystem;

const std::string kTag = "/EXEC:SolaneLauncher-VANTIK";

// A program that, when started, leaves "started" beside itself: its working folder on the first
// line, then its arguments, each ended by a NUL.
#ifdef _WIN32
// Windows runs no scripts: a copy of this test program records its start, before any test runs,
// when the tests have set SOLANE_RECORD_START.
[[maybe_unused]] const bool kRecording = [] {
  if (!std::getenv("SOLANE_RECORD_START")) return false;
  const std::string here = platform::ParentOf(platform::ExecutablePath());
  {
    std::ofstream out(here + "/started.part", std::ios::binary);
    out << fs::current_path().string() << "\n";
    for (const std::string& argument : platform::ProgramArguments(0, nullptr)) out << argument << '\0';
  }
  fs::rename(here + "/started.part", here + "/started");
  std::_Exit(0);
}();
const std::string kRecorder = FileBytes(platform::ExecutablePath());
#else
const std::string kRecorder =
    "#!/bin/sh\n"
    "here=$(dirname \"$0\")\n"
    "{ pwd -P; printf '%s\\0' \"$@\"; } > \"$here/started.part\" && mv \"$here/started.part\" \"$here/started\"\n";
#endif

struct Start {
  std::string folder;
  EntryOptions entry;  // what the started launcher's entry makes of its arguments
};

std::optional<Start> WaitForStart(const std::string& folder) {
  const std::string path = folder + "/started";
  for (int i = 0; i < 250 && !fs::exists(path); ++i) platform::SleepMs(20);
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  Start start;
  std::getline(in, start.folder);
  std::vector<std::string> arguments;
  std::string argument;
  while (std::getline(in, argument, '\0')) arguments.push_back(argument);
  start.entry = ExtractEntryOptions(arguments);
  in.close();  // Windows removes no open file
  fs::remove(path);
  return start;
}

// The installed launcher has downloaded `pendingFile` into its temporary folder.
struct DownloadingFrontEnd final : LauncherFrontEnd {
  explicit DownloadingFrontEnd(std::string file) : pendingFile(std::move(file)) {}
  void RunMainWindow(PatchEngine& engine) override { engine.SetLauncherUpdatePending(pendingFile); }
  std::string pendingFile;
};

// Start-up of a launcher at `exePath`, run with `--console`, to its end.
StartupEnd RunLauncherAt(const std::string& exePath, const std::string& commandLine,
                         std::unique_ptr<LauncherFrontEnd> frontEnd = nullptr) {
  PatchEngine::Destroy();
  PatchEngine::Instance().SetLauncherExePathForTesting(exePath);
  StartupSteps steps;
  steps.frontEnd = std::move(frontEnd);
  steps.handOverOptions = "--console";
  CLauncherApp app(std::move(steps));
  return app.InitInstance(commandLine);
}

TEST(SelfReplace, HandOverStartsTheDownloadedFileAndKeepsTheTextWordForWord) {
  TestInstallation install;
  ScopedEnvironment recording("SOLANE_RECORD_START", "1");
  platform::SetMessageBoxProvider(std::make_shared<platform::ScriptedMessageBox>());
  // Runs of blanks and a tab in the installation's path and in the web argument.
  const std::string games = install.Path("Solane  Games");
  const std::string& name = kLauncherName;
  const std::string switches = " /LOCALE:KOREA /PUBLISHER:ORVEX /WEBARG:a  b\tc /";
  install.WriteFile("Solane  Games/" + name, "the old launcher");
  install.WriteFile("Solane  Games/Temp/bin/" + name, kRecorder);

  // The new launcher's name in Update.NFO may carry a folder, with either separator.
  std::string tempLine;
  for (const std::string& pending : {"bin/" + name, "bin\\" + name}) {
    EXPECT_EQ(RunLauncherAt(games + "/" + name, kTag + switches, std::make_unique<DownloadingFrontEnd>(pending)),
              StartupEnd::RelaunchStarted);
    const std::optional<Start> temp = WaitForStart(games + "/Temp/bin");
    ASSERT_TRUE(temp) << pending;
    EXPECT_EQ(temp->folder, fs::canonical(games + "/Temp/bin").string());
    EXPECT_TRUE(temp->entry.console);
    EXPECT_EQ(temp->entry.commandLine, "/TO:" + games + "/" + name + " " + kTag + switches);
    tempLine = temp->entry.commandLine;
  }
  const StartupEnd failed =
      RunLauncherAt(games + "/" + name, kTag + switches, std::make_unique<DownloadingFrontEnd>("Missing"));
  EXPECT_EQ(failed, StartupEnd::RelaunchFailed);
  EXPECT_EQ(LauncherExitCode(failed, true), 1);

  // The copy in Temp takes the installed file's place and starts it with the switches it got.
  EXPECT_EQ(RunLauncherAt(games + "/Temp/bin/" + name, tempLine), StartupEnd::ReplacementStarted);
  const std::optional<Start> replaced = WaitForStart(games);
  ASSERT_TRUE(replaced);
  EXPECT_TRUE(install.ReadFile("Solane  Games/" + name) == kRecorder);
  EXPECT_EQ(replaced->folder, fs::canonical(games).string());
  EXPECT_TRUE(replaced->entry.console);
  EXPECT_EQ(replaced->entry.commandLine, kTag + switches);

  // A copy that cannot take the installed file's place (here a folder stands there) says so in
  // the installation's language, not in that of a file in Temp, and ends: it never goes on as a
  // launcher from Temp.
  install.WriteFile("Solane  Games/SolaneLauncher.CFG", "[SolaneLauncher.CFG]\r\nLOCALE=JAPAN\r\n");
  install.WriteFile("Solane  Games/Temp/bin/SolaneLauncher.CFG", "[SolaneLauncher.CFG]\r\nLOCALE=USA\r\n");
  fs::remove(games + "/" + name);
  install.WriteFile("Solane  Games/" + name + "/kept", "");
  auto boxes = std::make_shared<platform::ScriptedMessageBox>();
  platform::SetMessageBoxProvider(boxes);
  const StartupEnd refused = RunLauncherAt(games + "/Temp/bin/" + name, "/TO:" + games + "/" + name + " " + kTag + " /");
  EXPECT_EQ(refused, StartupEnd::ReplacementFailed);
  EXPECT_EQ(LauncherExitCode(refused, true), 1);
  ASSERT_FALSE(boxes->Shown().empty());
  EXPECT_EQ(boxes->Shown().back().text, LoadCatalogueStringIn(kLanguageJapanese, 122) + " " +
                                            LoadCatalogueStringIn(kLanguageJapanese, 123) + " " +
                                            LoadCatalogueStringIn(kLanguageJapanese, 106));
  platform::SetMessageBoxProvider(nullptr);
}

}  // namespace
