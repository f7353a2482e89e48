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
#include "tests/download/PythonZip.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

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
    Serve("Data.SPF", Pack("new data", 5));
  }
  void TearDown() override {
    Engine().AttachWindow(nullptr);
    platform::SetMessageBoxProvider(nullptr);
    platform::SetFreeDiskSpaceForTesting({});
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
  // Owner read and write always; execute only for a program (ELF or "#!").
  bool InstalledWithNormalAttributes(const std::string& name, bool program) const {
    using std::filesystem::perms;
    const perms mode = std::filesystem::status(install_.Path(name)).permissions();
    return (mode & perms::owner_all) == (program ? perms::owner_all : (perms::owner_read | perms::owner_write));
  }
  bool TempDirGone() const { return !Exists("Temp"); }
  std::string Message(int id) const { return LoadCatalogueString(id); }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes_->Shown()) texts.push_back(box.text);
    return texts;
  }
  void ExpectFinished() {
    EXPECT_TRUE(Engine().IsFinished());
    EXPECT_FALSE(Engine().IsCancelled());
    EXPECT_EQ(window_.LastStatusLine(), Message(117));
    EXPECT_TRUE(window_.StartButtonShown());
    EXPECT_TRUE(TempDirGone());
    EXPECT_EQ(Engine().LoginServer(), "127.0.0.1");  // the announcement's only address
  }

  FixtureServer server_;
  TestInstallation install_;
  RecordingWindow window_;
  std::shared_ptr<platform::ScriptedMessageBox> boxes_ = std::make_shared<platform::ScriptedMessageBox>();
};

TEST_F(UpdateScenario, CurrentInstallationFetchesOnlyTheInformation) {
  Announce();
  RunUpdate();
  EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});
  ExpectFinished();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("old data", 5));
}

TEST_F(UpdateScenario, OutdatedPacksAreReplaced) {
  install_.WriteFile("Zipped.SPF", Pack("old zipped", 1));
  install_.WriteFile("ByDigest.SPF", Pack("kept by digest", 1));
  install_.WriteFile("Upper.SPF", Pack("upper", 3));
  install_.WriteFile("Short.SPF", "ab");
  const std::string digest = Md5OfFile(install_.Path("ByDigest.SPF"));
  std::string upper = Md5OfFile(install_.Path("Upper.SPF"));
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  Serve("Data.SPF", Pack("new data", 6));
  ASSERT_EQ(WritePythonZip(server_.Root() + "/patch/Zipped.zip", {{"Zipped.SPF", Pack("new zipped", 2)}}), "");
  Serve("Zipped.SPF", Pack("new zipped", 2));
  Serve("ByDigest.SPF", Pack("server copy", 2));
  Serve("Upper.SPF", Pack("upper new", 3));
  Serve("Short.SPF", Pack("short new", 1));
  Announce("", "",
           "1_FileName=Data.SPF\n1_Version=6\n"
           "2_FileName=Zipped.SPF\n2_Version=2\n2_ZIP=1\n"
           "3_FileName=ByDigest.SPF\n3_Version=2\n3_Flag=MD5\n3_MD5=" + digest + "\n"
           "4_FileName=Upper.SPF\n4_Version=3\n4_MD5=" + upper + "\n"
           "5_FileName=Short.SPF\n5_Version=1\n");
  RunUpdate();
  ExpectFinished();
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("new data", 6));
  EXPECT_TRUE(InstalledWithNormalAttributes("Data.SPF", false));
  EXPECT_EQ(install_.ReadFile("Zipped.SPF"), Pack("new zipped", 2));
  EXPECT_EQ(install_.ReadFile("ByDigest.SPF"), Pack("kept by digest", 1));
  EXPECT_EQ(install_.ReadFile("Upper.SPF"), Pack("upper new", 3));
  EXPECT_EQ(install_.ReadFile("Short.SPF"), Pack("short new", 1));
  const auto fetched = Fetched();
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), "ByDigest.SPF"), 0);
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), "Zipped.zip"), 1);
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), "Zipped.SPF"), 0);
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
  Serve("Data.SPF", Pack("new data", 6));
  Announce("", "", "1_FileName=" + climbing + "\n1_Version=9\n2_FileName=/etc/passwd\n2_Version=1\n"
                   "3_FileName=Sub\\..\\Data.SPF\n3_Version=6\n",
           "[Delete]\nDeleteCount=2\n1_FileName=" + climbing + "\n2_FileName=..\n");
  RunUpdate();
  EXPECT_TRUE(std::filesystem::exists(outside));
  EXPECT_TRUE(std::filesystem::exists(install_.Dir()));
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("new data", 6));
  for (const std::string& name : Fetched()) EXPECT_EQ(name.find(".."), std::string::npos) << name;
  const auto lines = window_.StatusLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), climbing + " " + Message(123)), lines.end());
  std::filesystem::remove(outside);
}

TEST_F(UpdateScenario, ClientIsReplacedUnlessItsVersionMatches) {
  for (const auto& [installedLow, replaced] : {std::pair{2u, true}, std::pair{0u, true}, std::pair{1u, false}}) {
    SCOPED_TRACE(installedLow);
    InstallProgram("SolaneClient.exe", 1, installedLow);
    Serve("SolaneClient.exe", "#!/bin/sh\nannounced client\n");
    Restart();
    Announce();
    RunUpdate();
    ExpectFinished();
    EXPECT_EQ(install_.ReadFile("SolaneClient.exe") == "#!/bin/sh\nannounced client\n", replaced);
    EXPECT_TRUE(InstalledWithNormalAttributes("SolaneClient.exe", true));
  }
}

// A missing client and a launcher announced as version 0 both stop before any download.
TEST_F(UpdateScenario, UnusableComponentStopsWithMessage127) {
  std::filesystem::copy_file(install_.Path("SolaneClient.exe"), install_.Path("client.keep"));
  for (const bool missingClient : {true, false}) {
    SCOPED_TRACE(missingClient);
    Restart();
    if (missingClient) {
      std::filesystem::remove(install_.Path("SolaneClient.exe"));
      Announce();
    } else {
      std::filesystem::copy_file(install_.Path("client.keep"), install_.Path("SolaneClient.exe"));
      Serve("Update.NFO", "[SolaneLauncher]\nVersionMajorHigh=0\n[SolaneClient]\nVersionMajorHigh=1\n"
                          "[Resource]\nResourceCount=1\n" + kDataEntry + "[LoginServer]\nLoginServerCount=1\n1_IP=127.0.0.1\n");
    }
    RunUpdate();
    EXPECT_TRUE(Engine().IsCancelled());
    EXPECT_FALSE(Engine().IsLauncherUpdatePending());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(127)});
    EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});
  }
}

TEST_F(UpdateScenario, ErrorReporterOnlyWhenSwitchedOn) {
  Serve("SolaneError.exe", "reporter");
  Announce();
  RunUpdate();
  EXPECT_FALSE(Exists("SolaneError.exe"));
  EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});

  Restart();
  Announce("", "", kDataEntry,
           "[SolaneError]\nUpdate=1\nVersionMajorHigh=1\nVersionMajorLow=0\nVersionMinorHigh=0\nVersionMinorLow=0\n");
  RunUpdate();
  ExpectFinished();
  EXPECT_EQ(install_.ReadFile("SolaneError.exe"), "reporter");
}

TEST_F(UpdateScenario, NewLauncherWaitsInTempAndEndsTheRun) {
  Serve("bin/SolaneLauncher", "new launcher");
  Serve("Data.SPF", Pack("new data", 6));
  Announce("VersionMinorLow=7\nFileName=bin/SolaneLauncher\n", "", "1_FileName=Data.SPF\n1_Version=6\n");
  RunUpdate();
  EXPECT_TRUE(Engine().IsLauncherUpdatePending());
  EXPECT_EQ(Engine().PendingLauncherFile(), "SolaneLauncher");
  EXPECT_EQ(install_.ReadFile("Temp/bin/SolaneLauncher"), "new launcher");
  EXPECT_TRUE(window_.Closed());
  EXPECT_EQ(Engine().ReadSetting(kSettingScreenMode), "WINDOW");
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("old data", 5));  // nothing after the launcher
  EXPECT_EQ(Fetched(), (std::vector<std::string>{"Update.NFO", "bin/SolaneLauncher"}));
}

TEST_F(UpdateScenario, ErrorShowAndErrorRun) {
  struct Case {
    const char* lines;
    bool startShown;
    std::vector<std::string> boxes;
  };
  for (const Case& c : {Case{"ErrorShow=1\nErrorRun=0\nErrorMessage=Down\\nfor repair\n", false, {"Down\nfor repair"}},
                        Case{"ErrorShow=1\nErrorRun=1\nErrorMessage=Notice\n", true, {"Notice"}},
                        Case{"ErrorShow=1\nErrorRun=0\n", false, {}}}) {
    SCOPED_TRACE(c.lines);
    Restart();
    window_.ShowStartButton(false);
    Announce(c.lines);
    RunUpdate();
    EXPECT_TRUE(Engine().IsFinished());
    EXPECT_EQ(window_.StartButtonShown(), c.startShown);
    EXPECT_EQ(BoxTexts(), c.boxes);
  }
}

TEST_F(UpdateScenario, ImproperInformationAsksAgain) {
  Serve("Update.NFO", "[SolaneLauncher]\nVersionMajorHigh=1\n");
  boxes_->QueueAnswer(platform::kResultCancel);
  RunUpdate();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(167)});
  EXPECT_FALSE(Engine().IsFinished());
  EXPECT_TRUE(TempDirGone());

  // OK fetches again; the box puts the proper file on the server before it answers.
  class FixingBox : public platform::MessageBoxProvider {
   public:
    explicit FixingBox(std::function<void()> fix) : fix_(std::move(fix)) {}
    int Show(const std::string& text, const std::string&, unsigned) override {
      texts.push_back(text);
      fix_();
      return platform::kResultOk;
    }
    std::vector<std::string> texts;

   private:
    std::function<void()> fix_;
  };
  // The same length as the proper file: the engine keeps the size it learnt for a name.
  const std::string proper = Announcement();
  std::string improper = "[SolaneLauncher]\nVersionMajorHigh=1\n;";
  improper += std::string(WithCrLf(proper).size() - WithCrLf(improper).size() - 2, 'x') + "\n";
  Restart();
  auto box = std::make_shared<FixingBox>([&] { Serve("Update.NFO", proper); });
  platform::SetMessageBoxProvider(box);
  Serve("Update.NFO", improper);
  RunUpdate();
  EXPECT_EQ(box->texts, std::vector<std::string>{Message(167)});
  ExpectFinished();
}

TEST_F(UpdateScenario, RunningClientEndsWithMessage144) {
  Serve("Data.SPF", Pack("new data", 6));
  Announce("", "", "1_FileName=Data.SPF\n1_Version=6\n");
  Engine().SetClientAlreadyRunning(true);
  RunUpdate();
  EXPECT_TRUE(Engine().IsFinished());
  EXPECT_EQ(window_.LastStatusLine(), Message(144));
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("old data", 5));
}

TEST_F(UpdateScenario, ShortDiskStopsWithMessage113) {
  Serve("Data.SPF", Pack(std::string(100000, 'd'), 6));
  Announce("", "", "1_FileName=Data.SPF\n1_Version=6\n");
  platform::SetFreeDiskSpaceForTesting([](const std::string&) { return std::optional<uint64_t>(20000); });
  RunUpdate();
  EXPECT_TRUE(Engine().IsCancelled());
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(113)});
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("old data", 5));
  EXPECT_TRUE(TempDirGone());
}

TEST_F(UpdateScenario, BrokenTransfersLeaveOldOrNewFiles) {
  for (const bool cancelled : {false, true}) {
    SCOPED_TRACE(cancelled ? "cancelled" : "short");
    Restart();
    install_.WriteFile("Big.SPF", Pack("old big", 1));
    Serve("Data.SPF", Pack("new data", 6));
    Serve("Big.SPF", Pack(std::string(300000, 'n'), 2));
    server_.SetBehaviour("patch/Big.SPF", cancelled ? FileBehaviour{.bytesPerSecond = 20000}
                                                    : FileBehaviour{.closeAfter = 1000});
    Announce("", "", "1_FileName=Data.SPF\n1_Version=6\n2_FileName=Big.SPF\n2_Version=2\n");
    Engine().StartUpdate();
    if (cancelled) {
      for (int i = 0; i < 500 && install_.ReadFile("Data.SPF") != Pack("new data", 6); ++i) platform::SleepMs(10);
      platform::SleepMs(300);
      Engine().SetCancel(true);
    }
    Engine().WaitSequenceThread();
    Engine().WaitDownloadThread();
    EXPECT_TRUE(Engine().IsCancelled());
    EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("new data", 6));
    EXPECT_EQ(install_.ReadFile("Big.SPF"), Pack("old big", 1));
    EXPECT_TRUE(TempDirGone());
  }
}

TEST(UpdateOverFtp, RefusedConnectionAsksToRetry) {
  TestInstallation install;
  auto boxes = std::make_shared<platform::ScriptedMessageBox>();
  platform::SetMessageBoxProvider(boxes);
  // A port nobody listens on: taken from a server that has just stopped.
  uint16_t port = 0;
  {
    FixtureServer gone;
    port = gone.Port();
  }
  install.WriteConfig("Url_7=127.0.0.1:" + std::to_string(port) + "\r\nType_7=1\r\nPort_7=" + std::to_string(port) +
                      "\r\nServer_Path_7=patch\r\nRun=7\r\n");
  boxes->QueueAnswer(platform::kResultCancel);
  install.Engine().StartUpdate();
  install.Engine().WaitSequenceThread();
  ASSERT_FALSE(boxes->Shown().empty());
  EXPECT_EQ(boxes->Shown()[0].text, LoadCatalogueString(111));
  EXPECT_FALSE(install.Engine().IsFinished());
  platform::SetMessageBoxProvider(nullptr);
}

// --- Steps run on their own --------------------------------------------------------------

class LoadedEngine : public ::testing::Test {
 protected:
  void Load(const std::string& text) {
    ASSERT_TRUE(Engine().MutableInfo().Parse(WithCrLf(text)));
    Engine().MutableInfo().SetLoadedPath("Update.NFO");
  }
  PatchEngine& Engine() { return install_.Engine(); }
  std::string Read(const std::string& name) {
    return ReadRegistryText({platform::RegistryRoot::LocalMachine, kDefaultRegistryPath}, name);
  }
  void Write(const std::string& name, const std::string& data) {
    WriteRegistryValue({platform::RegistryRoot::LocalMachine, kDefaultRegistryPath}, name, data, platform::kRegSz);
  }
  TestInstallation install_;
};

TEST_F(LoadedEngine, RegistryValuesMoveAsText) {
  Write("Moved", "one");
  Write("Kept", "two");
  Write("Taken", "new-data");
  Write("Existing", "player's");
  const uint32_t dword = 0x00003231;  // bytes "1", "2", 0, 0
  platform::RegistrySetValue(platform::RegistryRoot::LocalMachine, kDefaultRegistryPath, "Number",
                             platform::kRegDword, &dword, 4);
  Load("[SolaneLauncher]\nRegMoveCount=5\n"
       "1_From_RegValue=Moved\n1_To_RegValue=MovedTo\n1_Delete=1\n"
       "2_From_RegValue=Kept\n2_To_RegValue=KeptTo\n"
       "3_From_RegValue=Taken\n3_To_RegValue=Existing\n3_Delete=1\n"
       "4_From_RegValue=Absent\n4_To_RegValue=AbsentTo\n4_Delete=1\n"
       "5_From_RegValue=Number\n5_To_RegValue=NumberText\n");
  Engine().MigrateRegistry();
  const std::pair<const char*, const char*> expected[] = {
      {"Moved", ""},     {"MovedTo", "one"},       {"Kept", "two"},     {"KeptTo", "two"},
      {"Taken", ""},     {"Existing", "player's"}, {"AbsentTo", ""},    {"NumberText", "12"},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(Read(name), value) << name;
  auto carried = platform::RegistryQueryValue(platform::RegistryRoot::LocalMachine, kDefaultRegistryPath, "NumberText");
  ASSERT_TRUE(carried);
  EXPECT_EQ(carried->type, platform::kRegSz);
}

TEST_F(LoadedEngine, CancelStopsTheLists) {
  install_.WriteFile("Old.dat", "old");
  install_.WriteFile("Extra.SPF", "x");
  Load("[Delete]\nDeleteCount=1\n1_FileName=Old.dat\n");
  Engine().SetCancel(true, true);
  Engine().DeleteListedFiles();
  Engine().PurgeUnlistedPacks({"Data.SPF"});
  EXPECT_TRUE(std::filesystem::exists(install_.Path("Old.dat")));
  EXPECT_TRUE(std::filesystem::exists(install_.Path("Extra.SPF")));
}

}  // namespace
