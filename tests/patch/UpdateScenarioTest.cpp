// Whole updates driven in-process against the fixture server: what ends up on disk, what was
// requested, and what the player saw.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/RegistrySettings.h"
#include "app/Settings.h"
#include "patch/FileVersion.h"
#include "patch/Md5.h"
#include "patch/PatchEngine.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/Registry.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

std::string Message(int id) { return LoadCatalogueString(id); }

std::string Pack(const std::string& body, uint32_t version) {
  std::string bytes = body;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(version >> (8 * i));
  return bytes;
}

// The information file's lines end with CR LF.
std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

const std::string kDataEntry = "1_FileName=Data.SPF\n1_Version=5\n";
const std::string kNewData = "1_FileName=Data.SPF\n1_Version=6\n";

// The update information of an up-to-date installation. Lines of `launcher` and `client` come
// first in their sections, so they win over the defaults that follow; `more` adds sections.
std::string Announcement(const std::string& launcher = "", const std::string& client = "",
                         const std::string& resource = kDataEntry, const std::string& more = "") {
  int packs = 0;
  for (size_t at = resource.find("_FileName="); at != std::string::npos; at = resource.find("_FileName=", at + 1)) ++packs;
  return "[SolaneLauncher]\n" + launcher +
         "VersionMajorHigh=1\nVersionMajorLow=0\nVersionMinorHigh=0\nVersionMinorLow=0\nFileName=SolaneLauncher\n"
         "[SolaneClient]\n" + client +
         "VersionMajorHigh=1\nVersionMajorLow=0\nVersionMinorHigh=0\nVersionMinorLow=1\n"
         "[Resource]\nResourceCount=" + std::to_string(std::max(packs, 1)) + "\n" + resource + more +
         "[LoginServer]\nLoginServerCount=1\n1_IP=127.0.0.1\n";
}

class UpdateScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.IsRunning());
    platform::SetMessageBoxProvider(boxes_);
    install_.WriteConfig("Url_7=" + server_.Host() + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n");
    window_.SetWindowMode(true);
    Engine().AttachWindow(&window_);
    InstallProgram("SolaneLauncher", 1, 0);
    InstallProgram("SolaneClient.exe", 1, 1);
    install_.WriteFile("Data.SPF", Pack("old data", 5));
    Serve("Data.SPF", Pack("new data", 6));
  }
  void TearDown() override {
    platform::SetMessageBoxProvider(nullptr);
  }

  PatchEngine& Engine() { return install_.Engine(); }

  // A finished or cancelled engine is never revived: each further run gets a new one, a fresh
  // request log and fresh message boxes.
  void Restart() {
    server_.Reset();
    boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::SetMessageBoxProvider(boxes_);
    PatchEngine::Destroy();
    Engine().SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
    Engine().AttachWindow(&window_);
  }

  // A copy of this test program, which carries a version note, stamped with high.low.
  void InstallProgram(const std::string& name, uint32_t high, uint32_t low) {
    std::filesystem::copy_file(platform::ExecutablePath(), install_.Path(name),
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(StampFileVersion(install_.Path(name), high << 16, low));
  }
  void Serve(const std::string& name, const std::string& bytes) {
    server_.PutFile("patch/" + name, name == "Update.NFO" ? WithCrLf(bytes) : bytes);
  }
  void Announce(const std::string& launcher = "", const std::string& client = "",
                const std::string& resource = kDataEntry, const std::string& more = "") {
    Serve("Update.NFO", Announcement(launcher, client, resource, more));
  }

  void RunUpdate() {
    Engine().StartUpdate();
    Engine().WaitSequenceThread();
    Engine().WaitDownloadThread();
  }

  // The files fetched with GET, without the server folder.
  std::vector<std::string> Fetched() const {
    std::vector<std::string> names;
    for (const RecordedRequest& request : server_.Requests())
      if (request.method == "GET") names.push_back(request.decodedPath.substr(std::string("/patch/").size()));
    return names;
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(install_.Path(name)); }
  // Installed files get owner read and write, and execute only when they are programs.
  int OwnerMode(const std::string& name) const { return static_cast<int>(std::filesystem::status(install_.Path(name)).permissions()) & 0700; }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes_->Shown()) texts.push_back(box.text);
    return texts;
  }
  void ExpectFinished() {
    EXPECT_TRUE(Engine().IsFinished() && !Engine().IsCancelled());
    EXPECT_EQ(window_.LastStatusLine(), Message(117));
    EXPECT_TRUE(window_.StartButtonShown());
    EXPECT_FALSE(Exists("Temp"));
    EXPECT_EQ(Engine().LoginServer(), "127.0.0.1");  // the announcement's only address
  }
  // Loads an information file into the engine, for the steps run on their own.
  void Load(const std::string& text) {
    ASSERT_TRUE(Engine().MutableInfo().Parse(WithCrLf(text)));
    Engine().MutableInfo().SetLoadedPath("Update.NFO");
  }

  FixtureServer server_;
  RecordingWindow window_;
  TestInstallation install_;  // after the window: the engine and its threads go first
  std::shared_ptr<platform::ScriptedMessageBox> boxes_ = std::make_shared<platform::ScriptedMessageBox>();
};

// A current installation fetches nothing but the information file; a component that differs
// (a client newer than announced) or is switched on (the error reporter) is fetched.
TEST_F(UpdateScenario, ComponentsAreFetchedOnlyWhenNeeded) {
  Serve("SolaneError.exe", "reporter");
  Serve("SolaneClient.exe", "#!/bin/sh\nannounced client\n");
  Announce();
  RunUpdate();
  EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});
  ExpectFinished();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("old data", 5));
  EXPECT_FALSE(Exists("SolaneError.exe"));

  Restart();
  InstallProgram("SolaneClient.exe", 1, 2);
  Announce("", "", kDataEntry, "[SolaneError]\nUpdate=1\nVersionMajorHigh=1\n");
  RunUpdate();
  ExpectFinished();
  EXPECT_EQ(install_.ReadFile("SolaneError.exe"), "reporter");
  EXPECT_EQ(install_.ReadFile("SolaneClient.exe"), "#!/bin/sh\nannounced client\n");
  EXPECT_EQ(OwnerMode("SolaneClient.exe"), 0700);
}

// Outdated by the trailer, an upper-case digest (never equal to ours), a pack too short for a
// trailer. Zipped packs and matching digests are the end-to-end test's.
TEST_F(UpdateScenario, OutdatedPacksAreReplaced) {
  install_.WriteFile("Upper.SPF", Pack("new", 3));
  install_.WriteFile("Short.SPF", "ab");
  // The upper-case digest of the very bytes installed: never equal to ours, so fetched again,
  // and still the digest of what arrives, so installed.
  std::string upper = Md5OfFile(install_.Path("Upper.SPF"));
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  for (const char* name : {"Upper.SPF", "Short.SPF"}) Serve(name, Pack("new", 3));
  Announce("", "", kNewData + "2_FileName=Upper.SPF\n2_Version=3\n2_MD5=" + upper + "\n3_FileName=Short.SPF\n3_Version=3\n");
  RunUpdate();
  ExpectFinished();
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("new data", 6));
  EXPECT_EQ(OwnerMode("Data.SPF"), 0600);
  for (const char* name : {"Upper.SPF", "Short.SPF"}) EXPECT_EQ(install_.ReadFile(name), Pack("new", 3)) << name;
}

// The purge removes unlisted packs of the launcher folder; the delete list removes files and
// folders and skips its gaps.
TEST_F(UpdateScenario, PurgeAndDeleteListRemoveOnlyWhatTheyShould) {
  for (const char* name : {"Extra.SPF", "Maps.SPF", "Test.SPF", "extra.spf.txt", "Old.dat", "Logs/a.txt", "Keep.dat"})
    install_.WriteFile(name, "x");
  install_.WriteFile("data.spf", Pack("case twin", 5));  // differs from a listed name only in case
  install_.WriteFile("World/Maps.SPF", Pack("maps", 2));  // the bare Maps.SPF is not listed
  Announce("", "", kDataEntry + "2_FileName=World\\Maps.SPF\n2_Version=2\n",
           "[Delete]\nDeleteCount=5\n1_FileName=Old.dat\n3_FileName=Logs\n4_FileName=Missing.dat\n");
  RunUpdate();
  ExpectFinished();
  for (const char* gone : {"Extra.SPF", "Maps.SPF", "Test.SPF", "Old.dat", "Logs"}) EXPECT_FALSE(Exists(gone)) << gone;
  for (const char* kept : {"extra.spf.txt", "data.spf", "World/Maps.SPF", "Keep.dat"}) EXPECT_TRUE(Exists(kept)) << kept;
}

TEST_F(UpdateScenario, EscapingNamesAreNeverUsed) {
  const std::filesystem::path outside = install_.Dir().parent_path() /
                                        (install_.Dir().filename().string() + "-outside.SPF");
  std::filesystem::create_directories(install_.Dir() / "Sub");
  std::ofstream(outside) << "outside";
  const std::string climbing = "..\\" + outside.filename().string();
  Announce("", "", "1_FileName=" + climbing + "\n1_Version=9\n2_FileName=/etc/passwd\n2_Version=1\n"
                   "3_FileName=Sub\\..\\Data.SPF\n3_Version=6\n",
           "[Delete]\nDeleteCount=2\n1_FileName=" + climbing + "\n2_FileName=..\n");
  RunUpdate();
  EXPECT_TRUE(std::filesystem::exists(outside) && std::filesystem::exists(install_.Dir()));
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("new data", 6));
  for (const std::string& name : Fetched()) EXPECT_EQ(name.find(".."), std::string::npos) << name;
  const auto lines = window_.StatusLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), climbing + " " + Message(123)), lines.end());
  std::filesystem::remove(outside);
}

TEST_F(UpdateScenario, NewLauncherWaitsInTempAndEndsTheRun) {
  Serve("bin/SolaneLauncher", "new launcher");
  Announce("VersionMinorLow=7\nFileName=bin/SolaneLauncher\n", "", kNewData);
  RunUpdate();
  EXPECT_TRUE(Engine().IsLauncherUpdatePending());
  EXPECT_EQ(Engine().PendingLauncherFile(), "bin/SolaneLauncher");  // started where it was downloaded
  EXPECT_EQ(install_.ReadFile("Temp/bin/SolaneLauncher"), "new launcher");
  EXPECT_TRUE(window_.Closed());
  EXPECT_EQ(Engine().ReadSetting(kSettingScreenMode), "WINDOW");
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("old data", 5));  // nothing after the launcher
  EXPECT_EQ(Fetched(), (std::vector<std::string>{"Update.NFO", "bin/SolaneLauncher"}));
}

TEST_F(UpdateScenario, ErrorShowAndErrorRun) {
  using Case = std::tuple<std::string, bool, std::vector<std::string>>;
  for (const auto& [lines, startShown, boxes] : {Case{"ErrorShow=1\nErrorRun=0\nErrorMessage=Down\\nfor repair\n", false, {"Down\nfor repair"}},
                                                 Case{"ErrorShow=1\nErrorRun=1\nErrorMessage=Notice\n", true, {"Notice"}},
                                                 Case{"ErrorShow=1\nErrorRun=0\n", false, {}}}) {
    Restart();
    window_.ShowStartButton(false);
    Announce(lines);
    RunUpdate();
    EXPECT_TRUE(Engine().IsFinished()) << lines;
    EXPECT_EQ(window_.StartButtonShown(), startShown) << lines;
    EXPECT_EQ(BoxTexts(), boxes) << lines;
  }
}

// Answers OK after putting the proper file on the server.
struct FixingBox : platform::MessageBoxProvider {
  std::function<void()> fix;
  std::vector<std::string> texts;
  int Show(const std::string& text, const std::string&, unsigned) override { return texts.push_back(text), fix(), platform::kResultOk; }
};

TEST_F(UpdateScenario, ImproperInformationAsksAgain) {
  Serve("Update.NFO", "[SolaneLauncher]\nVersionMajorHigh=1\n");
  boxes_->QueueAnswer(platform::kResultCancel);
  RunUpdate();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(167)});
  EXPECT_FALSE(Engine().IsFinished());
  EXPECT_FALSE(Exists("Temp"));

  // The same length as the proper file: the engine keeps the size it learnt for a name.
  const std::string proper = Announcement();
  std::string improper = "[SolaneLauncher]\nVersionMajorHigh=1\n;";
  improper += std::string(WithCrLf(proper).size() - WithCrLf(improper).size() - 2, 'x') + "\n";
  Restart();
  auto box = std::make_shared<FixingBox>();
  box->fix = [&] { Serve("Update.NFO", proper); };
  platform::SetMessageBoxProvider(box);
  Serve("Update.NFO", improper);
  RunUpdate();
  EXPECT_EQ(box->texts, std::vector<std::string>{Message(167)});
  ExpectFinished();
}

// A disk too small for the packs (113) and a missing client (127) stop before any download.
TEST_F(UpdateScenario, ShortDiskOrMissingClientStopsBeforeAnyDownload) {
  Serve("Data.SPF", Pack(std::string(100000, 'd'), 6));
  platform::SetFreeDiskSpaceForTesting([](const std::string&) { return std::optional<uint64_t>(20000); });
  for (const int message : {113, 127}) {
    Restart();
    if (message == 127) {
      platform::SetFreeDiskSpaceForTesting({});
      std::filesystem::remove(install_.Path("SolaneClient.exe"));
    }
    Announce("", "", kNewData);
    RunUpdate();
    EXPECT_TRUE(Engine().IsCancelled());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(message)});
    EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});
    EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("old data", 5));
    EXPECT_FALSE(Exists("Temp"));
  }
}

// A transfer that arrives short or is cancelled midway: each installed file is old or new.
TEST_F(UpdateScenario, BrokenTransfersLeaveOldOrNewFiles) {
  for (const bool cancelled : {false, true}) {
    Restart();
    install_.WriteFile("Big.SPF", Pack("old big", 1));
    Serve("Big.SPF", Pack(std::string(300000, 'n'), 2));
    server_.SetBehaviour("patch/Big.SPF", cancelled ? FileBehaviour{.bytesPerSecond = 20000}
                                                    : FileBehaviour{.closeAfter = 1000});
    Announce("", "", kNewData + "2_FileName=Big.SPF\n2_Version=2\n");
    Engine().StartUpdate();
    if (cancelled) {
      for (int i = 0; i < 500 && install_.ReadFile("Data.SPF") != Pack("new data", 6); ++i) platform::SleepMs(10);
      platform::SleepMs(300);
      Engine().SetCancel(true);
    }
    Engine().WaitSequenceThread();
    Engine().WaitDownloadThread();
    EXPECT_TRUE(Engine().IsCancelled()) << cancelled;
    EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("new data", 6));
    EXPECT_EQ(install_.ReadFile("Big.SPF"), Pack("old big", 1));
    EXPECT_FALSE(Exists("Temp"));
  }
}

TEST_F(UpdateScenario, RefusedFtpConnectionAsksToRetry) {
  const std::string port = std::to_string(UnusedLoopbackPort());
  install_.WriteConfig("Url_7=127.0.0.1:" + port + "\r\nType_7=1\r\nPort_7=" + port + "\r\nServer_Path_7=patch\r\nRun=7\r\n");
  boxes_->QueueAnswer(platform::kResultCancel);
  RunUpdate();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(111)});
  EXPECT_FALSE(Engine().IsFinished());
}

TEST_F(UpdateScenario, RegistryValuesMoveAsText) {
  const RegistryLocation location{platform::RegistryRoot::LocalMachine, kDefaultRegistryPath};
  for (const char* name : {"Moved", "Kept", "Taken", "Existing"}) WriteRegistryValue(location, name, name, platform::kRegSz);
  const uint32_t dword = 0x00003231;  // bytes "1", "2", 0, 0
  platform::RegistrySetValue(location.root, location.path, "Number", platform::kRegDword, &dword, 4);
  Load("[SolaneLauncher]\nRegMoveCount=5\n"
       "1_From_RegValue=Moved\n1_To_RegValue=MovedTo\n1_Delete=1\n"
       "2_From_RegValue=Kept\n2_To_RegValue=KeptTo\n"
       "3_From_RegValue=Taken\n3_To_RegValue=Existing\n3_Delete=1\n"  // kept: its text is not at the destination
       "4_From_RegValue=Absent\n4_To_RegValue=AbsentTo\n4_Delete=1\n"
       "5_From_RegValue=Number\n5_To_RegValue=NumberText\n");
  Engine().MigrateRegistry();
  const std::pair<const char*, const char*> expected[] = {
      {"Moved", ""}, {"MovedTo", "Moved"}, {"Kept", "Kept"}, {"KeptTo", "Kept"},
      {"Taken", "Taken"}, {"Existing", "Existing"}, {"AbsentTo", ""}, {"NumberText", "12"},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(ReadRegistryText(location, name), value) << name;
  EXPECT_EQ(platform::RegistryQueryValue(location.root, location.path, "NumberText").value().type, platform::kRegSz);
}

TEST_F(UpdateScenario, CancelStopsTheLists) {
  for (const char* name : {"Old.dat", "Extra.SPF"}) install_.WriteFile(name, "x");
  Load("[Delete]\nDeleteCount=1\n1_FileName=Old.dat\n");
  Engine().SetCancel(true, true);
  Engine().DeleteListedFiles();
  Engine().PurgeUnlistedPacks({"Data.SPF"});
  EXPECT_TRUE(Exists("Old.dat") && Exists("Extra.SPF"));
}

}  // namespace
