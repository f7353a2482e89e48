// Whole updates driven in-process against the fixture server: what ends up on disk, what was
// requested, and what the player saw.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <fstream>
#include <memory>
#include <mutex>
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
#include "platform/ProfileFile.h"
#include "platform/Registry.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

class RecordingWindow : public LauncherWindow {
 public:
  void SetStatusLine(const std::string& text) override {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back(text);
  }
  void SetFileBarRange(int, int) override {}
  void SetFileBarPos(int) override {}
  void SetTotalBarRange(int lower, int upper) override { totalLower_ = lower, totalUpper_ = upper; }
  void SetTotalBarPos(int) override {}
  void GetTotalBarRange(int& lower, int& upper) const override { lower = totalLower_, upper = totalUpper_; }
  void SetVersionLine(const std::string&) override {}
  void NavigateNotice(const std::string&) override {}
  void ShowStartButton(bool visible) override { startShown_ = visible; }
  void ShowExitButton(bool) override {}
  bool IsAutoRunChecked() const override { return false; }
  bool IsWindowModeChecked() const override { return true; }
  void SaveSettings() override {}
  void RunExitProcedure() override {}
  void CloseWindow() override { ++closed_; }
  void ShowServerRows(int) override {}

  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
  }
  std::string LastLine() const {
    auto lines = Lines();
    return lines.empty() ? std::string() : lines.back();
  }
  bool Showed(const std::string& text) const {
    auto lines = Lines();
    return std::find(lines.begin(), lines.end(), text) != lines.end();
  }
  std::atomic<int> closed_{0};
  std::atomic<bool> startShown_{false};

 private:
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
  std::atomic<int> totalLower_{0}, totalUpper_{0};
};

std::string Trailer(uint32_t version) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(version >> (8 * i));
  return bytes;
}

// The information file's lines end with CR LF.
std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

std::string Pack(const std::string& body, uint32_t version) { return body + Trailer(version); }

// A stored (uncompressed) zip archive holding one file.
std::string StoredZip(const std::string& name, const std::string& data);

class UpdateScenario : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.IsRunning());
    boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::SetMessageBoxProvider(boxes_);
    install_.WriteConfig("Url_7=" + server_.Host() + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n");
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

  // A copy of this test program, which carries a version note, stamped with high.low.
  void InstallProgram(const std::string& name, uint32_t high, uint32_t low) {
    std::filesystem::copy_file(platform::ExecutablePath(), install_.Path(name),
                               std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(StampFileVersion(install_.Path(name), high << 16, low));
  }
  void Serve(const std::string& name, const std::string& bytes) {
    server_.PutFile("patch/" + name, name == "Update.NFO" ? WithCrLf(bytes) : bytes);
  }

  // The update information: an up-to-date installation unless `extra` lines change it. Lines of
  // `extra` are added to the section whose header they follow, or as new sections.
  void Announce(const std::string& launcher = "", const std::string& client = "",
                const std::string& resource = "1_FileName=Data.SPF\n1_Version=5\n", const std::string& more = "") {
    Serve("Update.NFO", Announcement(launcher, client, resource, more));
  }
  // Lines of `launcher` and `client` come first in their sections, so they win over the
  // defaults that follow; `more` adds sections.
  static std::string Announcement(const std::string& launcher = "", const std::string& client = "",
                                  const std::string& resource = "1_FileName=Data.SPF\n1_Version=5\n",
                                  const std::string& more = "") {
    return "[SolaneLauncher]\n" + launcher +
           "VersionMajorHigh=1\nVersionMajorLow=0\nVersionMinorHigh=0\nVersionMinorLow=0\nFileName=SolaneLauncher\n"
           "[SolaneClient]\n" + client +
           "VersionMajorHigh=1\nVersionMajorLow=0\nVersionMinorHigh=0\nVersionMinorLow=1\n"
           "[Resource]\nResourceCount=" + std::to_string(CountEntries(resource)) + "\n" + resource + more +
           "[LoginServer]\nLoginServerCount=1\n1_IP=127.0.0.1\n";
  }
  static int CountEntries(const std::string& resource) {
    int count = 0;
    for (size_t at = resource.find("_FileName="); at != std::string::npos; at = resource.find("_FileName=", at + 1)) ++count;
    return std::max(count, 1);
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
  bool TempDirGone() const { return !std::filesystem::exists(install_.Dir() / "Temp"); }
  std::string Message(int id) const { return LoadCatalogueString(id); }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes_->Shown()) texts.push_back(box.text);
    return texts;
  }
  void ExpectFinished() {
    EXPECT_TRUE(Engine().IsFinished());
    EXPECT_FALSE(Engine().IsCancelled());
    EXPECT_EQ(window_.LastLine(), Message(117));
    EXPECT_TRUE(window_.startShown_.load());
    EXPECT_TRUE(TempDirGone());
    EXPECT_EQ(Engine().LoginServer(), "127.0.0.1");  // the announcement's only address
  }

  FixtureServer server_;
  TestInstallation install_;
  RecordingWindow window_;
  std::shared_ptr<platform::ScriptedMessageBox> boxes_;
};

TEST_F(UpdateScenario, CurrentInstallationFetchesOnlyTheInformation) {
  Announce();
  RunUpdate();
  EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});
  ExpectFinished();
  EXPECT_TRUE(BoxTexts().empty()) << (BoxTexts().empty() ? "" : BoxTexts()[0]);
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
  Serve("Zipped.zip", StoredZip("Zipped.SPF", Pack("new zipped", 2)));
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
  EXPECT_EQ(install_.ReadFile("Zipped.SPF"), Pack("new zipped", 2));
  EXPECT_EQ(install_.ReadFile("ByDigest.SPF"), Pack("kept by digest", 1));
  EXPECT_EQ(install_.ReadFile("Upper.SPF"), Pack("upper new", 3));
  EXPECT_EQ(install_.ReadFile("Short.SPF"), Pack("short new", 1));
  const auto fetched = Fetched();
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), "ByDigest.SPF"), 0);
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), "Zipped.zip"), 1);
  EXPECT_EQ(std::count(fetched.begin(), fetched.end(), "Zipped.SPF"), 0);
}

TEST_F(UpdateScenario, PurgeDeletesOnlyUnlistedPacksOfTheFolder) {
  install_.WriteFile("Extra.SPF", "x");
  install_.WriteFile("extra.spf.txt", "not a pack");
  install_.WriteFile("data.spf", Pack("case twin", 5));  // differs from a listed name only in case
  install_.WriteFile("Maps.SPF", "bare name");           // listed only inside a folder
  install_.WriteFile("World/Maps.SPF", Pack("maps", 2));
  install_.WriteFile("Test.SPF", "marker name");
  Announce("", "", "1_FileName=Data.SPF\n1_Version=5\n2_FileName=World\\Maps.SPF\n2_Version=2\n");
  RunUpdate();
  ExpectFinished();
  EXPECT_FALSE(std::filesystem::exists(install_.Path("Extra.SPF")));
  EXPECT_FALSE(std::filesystem::exists(install_.Path("Maps.SPF")));
  EXPECT_FALSE(std::filesystem::exists(install_.Path("Test.SPF")));
  EXPECT_TRUE(std::filesystem::exists(install_.Path("extra.spf.txt")));
  EXPECT_TRUE(std::filesystem::exists(install_.Path("data.spf")));
  EXPECT_TRUE(std::filesystem::exists(install_.Path("World/Maps.SPF")));
}

TEST_F(UpdateScenario, DeleteListRemovesFilesAndFolders) {
  install_.WriteFile("Old.dat", "old");
  install_.WriteFile("Logs/a.txt", "log");
  install_.WriteFile("Keep.dat", "keep");
  Announce("", "", "1_FileName=Data.SPF\n1_Version=5\n",
           "[Delete]\nDeleteCount=5\n1_FileName=Old.dat\n3_FileName=Logs\n4_FileName=Missing.dat\n");
  RunUpdate();
  ExpectFinished();
  EXPECT_FALSE(std::filesystem::exists(install_.Path("Old.dat")));
  EXPECT_FALSE(std::filesystem::exists(install_.Path("Logs")));
  EXPECT_TRUE(std::filesystem::exists(install_.Path("Keep.dat")));
}

TEST_F(UpdateScenario, EscapingNamesAreNeverUsed) {
  const std::filesystem::path outside = install_.Dir().parent_path() /
                                        (install_.Dir().filename().string() + "-outside.SPF");
  std::filesystem::create_directories(install_.Dir() / "Sub");
  {
    std::ofstream(outside) << "outside";
  }
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
  EXPECT_TRUE(window_.Showed(climbing + " " + Message(123)));
  std::filesystem::remove(outside);
}

TEST_F(UpdateScenario, ClientIsReplacedUnlessItsVersionMatches) {
  struct Case {
    uint32_t installedLow;
    bool replaced;
  };
  for (const Case& c : {Case{2, true}, Case{0, true}, Case{1, false}}) {
    SCOPED_TRACE(c.installedLow);
    InstallProgram("SolaneClient.exe", 1, c.installedLow);
    Serve("SolaneClient.exe", "announced client");
    server_.Reset();
    PatchEngine::Destroy();
    Engine().SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
    Engine().AttachWindow(&window_);
    Announce();
    RunUpdate();
    ExpectFinished();
    EXPECT_EQ(install_.ReadFile("SolaneClient.exe") == "announced client", c.replaced);
  }
}

TEST_F(UpdateScenario, MissingClientStopsWithMessage127) {
  std::filesystem::remove(install_.Path("SolaneClient.exe"));
  Announce();
  RunUpdate();
  EXPECT_TRUE(Engine().IsCancelled());
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(127)});
  EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});
}

TEST_F(UpdateScenario, ErrorReporterOnlyWhenSwitchedOn) {
  Serve("SolaneError.exe", "reporter");
  Announce();
  RunUpdate();
  EXPECT_FALSE(std::filesystem::exists(install_.Path("SolaneError.exe")));
  EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});

  server_.Reset();
  PatchEngine::Destroy();
  Engine().SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
  Engine().AttachWindow(&window_);
  Announce("", "", "1_FileName=Data.SPF\n1_Version=5\n",
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
  EXPECT_EQ(window_.closed_.load(), 1);
  EXPECT_EQ(Engine().ReadSetting(kSettingScreenMode), "WINDOW");
  EXPECT_EQ(install_.ReadFile("Data.SPF"), Pack("old data", 5));  // nothing after the launcher
  EXPECT_EQ(Fetched(), (std::vector<std::string>{"Update.NFO", "bin/SolaneLauncher"}));
}

TEST_F(UpdateScenario, LauncherAnnouncedAsZeroStops) {
  Serve("Update.NFO", "[SolaneLauncher]\nVersionMajorHigh=0\n[SolaneClient]\nVersionMajorHigh=1\n"
                      "[Resource]\nResourceCount=1\n1_FileName=Data.SPF\n1_Version=5\n"
                      "[LoginServer]\nLoginServerCount=1\n1_IP=127.0.0.1\n");
  RunUpdate();
  EXPECT_TRUE(Engine().IsCancelled());
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(127)});
  EXPECT_FALSE(Engine().IsLauncherUpdatePending());
}

TEST_F(UpdateScenario, ErrorShowAndErrorRun) {
  struct Case {
    const char* lines;
    bool startShown;
    size_t boxes;
  };
  for (const Case& c : {Case{"ErrorShow=1\nErrorRun=0\nErrorMessage=Down\\nfor repair\n", false, 1},
                        Case{"ErrorShow=1\nErrorRun=1\nErrorMessage=Notice\n", true, 1},
                        Case{"ErrorShow=1\nErrorRun=0\n", false, 0}}) {
    SCOPED_TRACE(c.lines);
    auto boxes = std::make_shared<platform::ScriptedMessageBox>();
    platform::SetMessageBoxProvider(boxes);
    window_.startShown_ = false;
    PatchEngine::Destroy();
    Engine().SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
    Engine().AttachWindow(&window_);
    Announce(c.lines);
    RunUpdate();
    EXPECT_TRUE(Engine().IsFinished());
    EXPECT_EQ(window_.startShown_.load(), c.startShown);
    ASSERT_EQ(boxes->Shown().size(), c.boxes);
    if (c.boxes && std::string(c.lines).find("Down") != std::string::npos)
      EXPECT_EQ(boxes->Shown()[0].text, "Down\nfor repair");
  }
}

TEST_F(UpdateScenario, ImproperInformationAsksAgain) {
  Serve("Update.NFO", "[SolaneLauncher]\nVersionMajorHigh=1\n");
  boxes_->QueueAnswer(platform::kResultCancel);
  RunUpdate();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(167)});
  EXPECT_FALSE(Engine().IsFinished());
  EXPECT_TRUE(TempDirGone());

  // OK fetches again; the box is answered once the server has a proper file.
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
  auto box = std::make_shared<FixingBox>([&] { Serve("Update.NFO", proper); });
  platform::SetMessageBoxProvider(box);
  PatchEngine::Destroy();
  Engine().SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
  Engine().AttachWindow(&window_);
  Serve("Update.NFO", improper);
  Engine().StartUpdate();
  Engine().WaitSequenceThread();
  Engine().WaitDownloadThread();
  EXPECT_EQ(box->texts, std::vector<std::string>{Message(167)});
  ExpectFinished();
}

TEST_F(UpdateScenario, RunningClientEndsWithMessage144) {
  Serve("Data.SPF", Pack("new data", 6));
  Announce("", "", "1_FileName=Data.SPF\n1_Version=6\n");
  Engine().SetClientAlreadyRunning(true);
  RunUpdate();
  EXPECT_TRUE(Engine().IsFinished());
  EXPECT_EQ(window_.LastLine(), Message(144));
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
  const std::string big(300000, 'n');
  struct Case {
    const char* what;
    FileBehaviour behaviour;
  };
  for (const Case& c : {Case{"short", {.closeAfter = 1000}}, Case{"cancelled", {.bytesPerSecond = 20000}}}) {
    SCOPED_TRACE(c.what);
    PatchEngine::Destroy();
    Engine().SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
    Engine().AttachWindow(&window_);
    platform::SetMessageBoxProvider(std::make_shared<platform::ScriptedMessageBox>());
    install_.WriteFile("Big.SPF", Pack("old big", 1));
    server_.Reset();
    Serve("Data.SPF", Pack("new data", 6));
    Serve("Big.SPF", Pack(big, 2));
    server_.SetBehaviour("patch/Big.SPF", c.behaviour);
    Announce("", "", "1_FileName=Data.SPF\n1_Version=6\n2_FileName=Big.SPF\n2_Version=2\n");
    Engine().StartUpdate();
    if (std::string(c.what) == "cancelled") {
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
  EXPECT_EQ(Read("Moved"), "");
  EXPECT_EQ(Read("MovedTo"), "one");
  EXPECT_EQ(Read("Kept"), "two");
  EXPECT_EQ(Read("KeptTo"), "two");
  EXPECT_EQ(Read("Taken"), "");
  EXPECT_EQ(Read("Existing"), "player's");
  EXPECT_EQ(Read("AbsentTo"), "");
  EXPECT_EQ(Read("NumberText"), "12");
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

namespace {

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void Put16(std::string& out, uint16_t value) {
  out += static_cast<char>(value & 0xff);
  out += static_cast<char>(value >> 8);
}
void Put32(std::string& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value & 0xffff));
  Put16(out, static_cast<uint16_t>(value >> 16));
}

std::string StoredZip(const std::string& name, const std::string& data) {
  const uint32_t crc = Crc32(data);
  std::string local;
  Put32(local, 0x04034b50);
  Put16(local, 20), Put16(local, 0), Put16(local, 0), Put16(local, 0), Put16(local, 0x21);
  Put32(local, crc), Put32(local, static_cast<uint32_t>(data.size())), Put32(local, static_cast<uint32_t>(data.size()));
  Put16(local, static_cast<uint16_t>(name.size())), Put16(local, 0);
  local += name + data;
  std::string central;
  Put32(central, 0x02014b50);
  Put16(central, 20), Put16(central, 20), Put16(central, 0), Put16(central, 0), Put16(central, 0), Put16(central, 0x21);
  Put32(central, crc), Put32(central, static_cast<uint32_t>(data.size())), Put32(central, static_cast<uint32_t>(data.size()));
  Put16(central, static_cast<uint16_t>(name.size())), Put16(central, 0), Put16(central, 0), Put16(central, 0),
      Put16(central, 0);
  Put32(central, 0), Put32(central, 0);
  central += name;
  std::string end;
  Put32(end, 0x06054b50);
  Put16(end, 0), Put16(end, 0), Put16(end, 1), Put16(end, 1);
  Put32(end, static_cast<uint32_t>(central.size())), Put32(end, static_cast<uint32_t>(local.size()));
  Put16(end, 0);
  return local + central + end;
}

}  // namespace
