// Updates driven in-process against the fixture server, whole or a step at a time: what ends up
// on disk, what was requested, and what the player saw.

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "app/RegistrySettings.h"
#include "app/Settings.h"
#include "patch/DigestCache.h"
#include "patch/FileVersion.h"
#include "patch/Md5.h"
#include "patch/PackDate.h"
#include "patch/PatchEngine.h"
#include "patch/ReleaseTrust.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/ProfileFile.h"
#include "platform/Registry.h"
#include "platform/ScriptedMessageBox.h"
#include "platform/FileLock.h"
#include "tests/download/PythonZip.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/Requirement.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/ServerProcess.h"
#ifndef _WIN32
#include "tests/support/SmallFileSystem.h"
#endif
#include "tests/support/TestEngine.h"
#ifndef _WIN32
#include "tools/publish/Signing.h"
#endif
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

std::string Message(int id) { return LoadCatalogueString(id); }

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
    install_.WriteFile("Data.SPF", PackBytes("old data", 5));
    Serve("Data.SPF", PackBytes("new data", 6));
  }
  void TearDown() override {
    platform::SetMessageBoxProvider(nullptr);
  }

  PatchEngine& Engine() { return install_.Engine(); }

  // A finished or cancelled engine is never revived: each further run gets a new one, a fresh
  // request log and fresh message boxes.
  void Restart(const std::string& launcher = "SolaneLauncher") {
    server_.Reset();
    boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::SetMessageBoxProvider(boxes_);
    PatchEngine::Destroy();
    Engine().SetLauncherExePathForTesting(install_.Path(launcher));
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
  std::vector<std::string> Fetched() const { return server_.Fetched("/patch/"); }
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
  EXPECT_EQ(install_.ReadFile("Data.SPF"), PackBytes("old data", 5));

  Restart();
  InstallProgram("SolaneClient.exe", 1, 2);
  Announce("", "", kDataEntry, "[SolaneError]\nUpdate=1\nVersionMajorHigh=1\n");
  RunUpdate();
  ExpectFinished();
  EXPECT_EQ(install_.ReadFile("SolaneError.exe"), "reporter");
  EXPECT_EQ(install_.ReadFile("SolaneClient.exe"), "#!/bin/sh\nannounced client\n");
  EXPECT_EQ(OwnerMode("SolaneClient.exe"), 0700);
}

// Outdated packs (by the trailer, by an upper-case digest, too short for a trailer) are replaced
// and new ones land in new folders, zipped or not. A pack off its digest or missing on the server
// is never installed, and the update ends in "Update failed." with the reasons.
TEST_F(UpdateScenario, PacksAreReplacedOrAddedAndBadFilesNeverInstalled) {
  install_.WriteFile("Upper.SPF", PackBytes("new", 3));
  install_.WriteFile("Short.SPF", "ab");
  // The upper-case digest of the very bytes installed: never equal to ours, so fetched again,
  // and still the digest of what arrives, so installed.
  std::string upper = Md5OfFile(install_.Path("Upper.SPF"));
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  for (const char* name : {"Upper.SPF", "Short.SPF"}) Serve(name, PackBytes("new", 3));
  Serve("New/Deep/Plain.SPF", PackBytes("plain", 1));
  ASSERT_EQ(WritePythonZip(server_.Root() + "/patch/Zipped/Packed.zip", {{"Zipped/Packed.SPF", PackBytes("zipped", 1), true}}), "");
  Announce("", "", kNewData + "2_FileName=Upper.SPF\n2_Version=3\n2_MD5=" + upper +
                   "\n3_FileName=Short.SPF\n3_Version=3\n4_FileName=New\\Deep\\Plain.SPF\n4_Version=1\n"
                   "5_FileName=Zipped/Packed.SPF\n5_Version=1\n5_ZIP=1\n");
  RunUpdate();
  ExpectFinished();
  EXPECT_EQ(install_.ReadFile("Data.SPF"), PackBytes("new data", 6));
  EXPECT_EQ(OwnerMode("Data.SPF"), 0600);
  for (const char* name : {"Upper.SPF", "Short.SPF"}) EXPECT_EQ(install_.ReadFile(name), PackBytes("new", 3)) << name;
  EXPECT_EQ(install_.ReadFile("New/Deep/Plain.SPF"), PackBytes("plain", 1));
  EXPECT_EQ(install_.ReadFile("Zipped/Packed.SPF"), PackBytes("zipped", 1));

  Restart();
  install_.WriteFile("Data.SPF", PackBytes("old data", 5));
  install_.WriteFile("Bad.SPF", PackBytes("old bad", 1));
  Serve("Bad.SPF", PackBytes("tampered", 2));
  Announce("", "", kNewData + "2_FileName=Bad.SPF\n2_Version=2\n2_MD5=" + Md5Of(PackBytes("genuine", 2)) +
                   "\n3_FileName=Missing.SPF\n3_Version=1\n");
  RunUpdate();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(123) + "\n\nBad.SPF " + Message(168) + "\nMissing.SPF " + Message(129)});
  EXPECT_FALSE(window_.StartButtonShown());
  EXPECT_TRUE(Engine().IsCancelled());
  EXPECT_EQ(install_.ReadFile("Data.SPF"), PackBytes("new data", 6));  // a good pack before them still lands
  EXPECT_EQ(install_.ReadFile("Bad.SPF"), PackBytes("old bad", 1));
  EXPECT_FALSE(Exists("Temp"));
}

// The purge removes unlisted packs of the launcher folder; the delete list removes files and
// folders and skips its gaps.
TEST_F(UpdateScenario, PurgeAndDeleteListRemoveOnlyWhatTheyShould) {
  for (const char* name : {"Extra.SPF", "Maps.SPF", "Test.SPF", "extra.spf.txt", "Old.dat", "Logs/a.txt", "Keep.dat"})
    install_.WriteFile(name, "x");
  install_.WriteFile("data.spf", PackBytes("case twin", 5));  // differs from a listed name only in case
  install_.WriteFile("World/Maps.SPF", PackBytes("maps", 2));  // the bare Maps.SPF is not listed
  Announce("", "", kDataEntry + "2_FileName=World\\Maps.SPF\n2_Version=2\n",
           "[Delete]\nDeleteCount=5\n1_FileName=Old.dat\n3_FileName=Logs\n4_FileName=Missing.dat\n");
  RunUpdate();
  ExpectFinished();
  // The player is told what went; a listed file that was not there is not named.
  const std::vector<std::string> lines = window_.StatusLines();
  for (const char* gone : {"Extra.SPF", "Maps.SPF", "Test.SPF", "Old.dat", "Logs"}) {
    EXPECT_FALSE(Exists(gone)) << gone;
    EXPECT_EQ(std::ranges::count(lines, gone + (" " + Message(kMessageFileDeleted))), 1) << gone;
  }
  for (const char* kept : {"extra.spf.txt", "data.spf", "World/Maps.SPF", "Keep.dat"}) EXPECT_TRUE(Exists(kept)) << kept;
  EXPECT_EQ(std::ranges::count(lines, "Missing.dat " + Message(kMessageFileDeleted)), 0);
}

// Names that climb out, absolute names and names through a link to elsewhere are never used,
// and the update ends in "Update failed." naming them.
TEST_F(UpdateScenario, EscapingNamesAreNeverUsed) {
  const std::filesystem::path outside = install_.Dir().parent_path() /
                                        (install_.Dir().filename().string() + "-outside");
  std::filesystem::create_directories(outside);
  std::filesystem::create_directories(install_.Dir() / "Sub");
  std::ofstream(outside / "victim.txt") << "outside";
  // Wine makes no symbolic links: there the names through a link are left out.
#ifdef _WIN32
  const bool links = false;
#else
  const bool links = true;
  std::filesystem::create_directory_symlink(outside, install_.Dir() / "Linked");
#endif
  const std::string climbing = "..\\" + outside.filename().string() + "\\victim.txt";
  Serve("Linked/Pack.SPF", PackBytes("through a link", 1));
  Announce("", "", "1_FileName=" + climbing + "\n1_Version=9\n2_FileName=/etc/passwd\n2_Version=1\n"
                   "3_FileName=Sub\\..\\Data.SPF\n3_Version=6\n" + std::string(links ? "4_FileName=Linked\\Pack.SPF\n4_Version=1\n" : ""),
           "[Delete]\nDeleteCount=" + std::string(links ? "3" : "2") + "\n1_FileName=" + climbing + "\n2_FileName=..\n" +
               (links ? "3_FileName=linked/victim.txt\n" : ""));
  RunUpdate();
  EXPECT_EQ(install_.ReadFile("Data.SPF"), PackBytes("new data", 6));
  EXPECT_EQ(FileBytes((outside / "victim.txt").string()), "outside");
  EXPECT_FALSE(std::filesystem::exists(outside / "Pack.SPF"));
  EXPECT_TRUE(std::filesystem::exists(install_.Dir()));
  for (const std::string& name : Fetched()) EXPECT_EQ(name.find(".."), std::string::npos) << name;
  const std::string unusable = " " + Message(169);
  // The delete list runs before the packs.
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(123) + "\n\n" + climbing + unusable + "\n.." + unusable +
                                                 (links ? "\nlinked/victim.txt" + unusable : "") + "\n" + climbing +
                                                 unusable + "\n/etc/passwd" + unusable +
                                                 (links ? "\nLinked\\Pack.SPF" + unusable : "")});
  std::filesystem::remove_all(outside);
}

// The new launcher waits in Temp under the installed launcher's name, in the server's folder.
TEST_F(UpdateScenario, NewLauncherWaitsInTempAndEndsTheRun) {
  Serve("bin/SolaneLauncher.exe", "new launcher");
  Announce("VersionMinorLow=7\nFileName=bin/SolaneLauncher.exe\n", "", kNewData);
  RunUpdate();
  EXPECT_TRUE(Engine().IsLauncherUpdatePending());
  EXPECT_EQ(Engine().PendingLauncherFile(), "bin/SolaneLauncher");
  EXPECT_EQ(install_.ReadFile("Temp/bin/SolaneLauncher"), "new launcher");
  EXPECT_TRUE(window_.Closed());
  EXPECT_EQ(Engine().ReadSetting(kSettingScreenMode), "WINDOW");
  EXPECT_EQ(install_.ReadFile("Data.SPF"), PackBytes("old data", 5));  // nothing after the launcher
  EXPECT_EQ(Fetched(), (std::vector<std::string>{"Update.NFO", "bin/SolaneLauncher.exe"}));
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

// An improper information file (167) or a refused connection (111) asks again.
TEST_F(UpdateScenario, ImproperInformationOrRefusedConnectionAsksAgain) {
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

  Restart();
  const std::string port = std::to_string(UnusedLoopbackPort());
  install_.WriteConfig("Url_7=127.0.0.1:" + port + "\r\nType_7=1\r\nPort_7=" + port + "\r\nServer_Path_7=patch\r\nRun=7\r\n");
  boxes_->QueueAnswer(platform::kResultCancel);
  RunUpdate();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(111)});
  EXPECT_FALSE(Engine().IsFinished());
}

// A disk too small for the packs (113) and a missing client (127) stop before any download.
// Room for the download is all a pack needs: moving it into place is a rename.
TEST_F(UpdateScenario, ShortDiskOrMissingClientStopsBeforeAnyDownload) {
  Serve("Data.SPF", PackBytes(std::string(100000, 'd'), 6));
  for (const int message : {113, 127}) {
    Restart();
    platform::SetFreeDiskSpaceForTesting([](const std::string&) { return std::optional<uint64_t>(20000); });
    if (message == 127) {
      platform::SetFreeDiskSpaceForTesting({});
      std::filesystem::remove(install_.Path("SolaneClient.exe"));
    }
    Announce("", "", kNewData);
    RunUpdate();
    EXPECT_TRUE(Engine().IsCancelled());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(message)});
    EXPECT_EQ(Fetched(), std::vector<std::string>{"Update.NFO"});
    EXPECT_EQ(install_.ReadFile("Data.SPF"), PackBytes("old data", 5));
    EXPECT_FALSE(Exists("Temp"));
  }
  Restart();
  InstallProgram("SolaneClient.exe", 1, 1);
  platform::SetFreeDiskSpaceForTesting([](const std::string&) { return std::optional<uint64_t>(150000); });
  RunUpdate();
  platform::SetFreeDiskSpaceForTesting({});
  ExpectFinished();
  EXPECT_EQ(install_.ReadFile("Data.SPF"), PackBytes(std::string(100000, 'd'), 6));
}

// A transfer that arrives short, is cancelled midway or cannot be written to the disk: each
// installed file is old or new.
TEST_F(UpdateScenario, BrokenTransfersLeaveOldOrNewFiles) {
  enum class Break { Short, Cancelled, DiskFull };
#ifdef _WIN32  // the full disk is a small file system mounted inside the installation: Linux only
  for (const Break how : {Break::Short, Break::Cancelled}) {
#else
  for (const Break how : {Break::Short, Break::Cancelled, Break::DiskFull}) {
#endif
    Restart();
    install_.WriteFile("Big.SPF", PackBytes("old big", 1));
    Serve("Big.SPF", PackBytes(std::string(300000, 'n'), 2));
    server_.SetBehaviour("patch/Big.SPF", how == Break::Short ? FileBehaviour{.closeAfter = 1000}
                                                              : FileBehaviour{.bytesPerSecond = how == Break::Cancelled ? 20000 : 0});
#ifndef _WIN32
    std::optional<SmallFileSystem> small;
    if (how == Break::DiskFull) {
      small.emplace(install_.Path("SolaneLauncher.partial"), 128 * 1024);
      SOLANE_REQUIRE(small->Mounted(), "mounting a small file system needs root");
      platform::SetFreeDiskSpaceForTesting([](const std::string&) { return std::optional<uint64_t>(uint64_t{1} << 30); });
    }
#endif
    // Only a file with a digest keeps its bytes in SolaneLauncher.partial, where the disk fills.
    Announce("", "", kNewData + "2_FileName=Big.SPF\n2_Version=2\n2_MD5=" + Md5Of(PackBytes(std::string(300000, 'n'), 2)) + "\n");
    Engine().StartUpdate();
    if (how == Break::Cancelled) {
      for (int i = 0; i < 500 && install_.ReadFile("Data.SPF") != PackBytes("new data", 6); ++i) platform::SleepMs(10);
      platform::SleepMs(300);
      Engine().SetCancel(true);
    }
    Engine().WaitSequenceThread();
    Engine().WaitDownloadThread();
    platform::SetFreeDiskSpaceForTesting({});
    const int label = static_cast<int>(how);
    EXPECT_TRUE(Engine().IsCancelled()) << label;
    EXPECT_EQ(install_.ReadFile("Data.SPF"), PackBytes("new data", 6)) << label;
    EXPECT_EQ(install_.ReadFile("Big.SPF"), PackBytes("old big", 1)) << label;
    EXPECT_FALSE(window_.StartButtonShown()) << label;
    if (how == Break::DiskFull) {
      EXPECT_NE(BoxTexts().at(0).find("ErrorCode : -7"), std::string::npos);
    }
  }
}

// A whole update's results (what is fetched, installed and purged, every status line and box)
// are the same whether the digests are computed or reused from the installation's cache, and
// with any number of digest workers.
TEST_F(UpdateScenario, DigestCacheAndWorkerCountNeverChangeTheResult) {
  const char* kCurrent[] = {"A.SPF", "D.SPF", "E.SPF", "Sub/F.SPF"};
  auto layOutChanged = [&] {  // the files an update replaces or purges
    install_.WriteFile("Data.SPF", PackBytes("old data", 5));
    install_.WriteFile("B.SPF", PackBytes("old b", 1));
    std::filesystem::remove(install_.Path("C.SPF"));
    install_.WriteFile("Old.SPF", "unlisted");
  };
  for (const char* name : kCurrent) install_.WriteFile(name, PackBytes(std::string("current ") + name, 2));
  for (const char* name : {"B.SPF", "C.SPF"}) Serve(name, PackBytes(std::string("new ") + name, 2));
  auto md5 = [&](const char* name) { return Md5OfFile(install_.Path(name)); };
  Announce("", "", kNewData + "2_FileName=A.SPF\n2_Version=2\n2_MD5=" + md5("A.SPF") +
                   "\n3_FileName=B.SPF\n3_Version=2\n3_MD5=" + Md5Of(PackBytes("new B.SPF", 2)) +
                   "\n4_FileName=C.SPF\n4_Version=2\n4_MD5=" + Md5Of(PackBytes("new C.SPF", 2)) +
                   "\n5_FileName=D.SPF\n5_Version=9\n5_Flag=MD5\n5_MD5=" + md5("D.SPF") +
                   "\n6_FileName=E.SPF\n6_Version=2\n7_FileName=Sub\\F.SPF\n7_Version=2\n7_MD5=" + md5("Sub/F.SPF") + "\n");

  struct Outcome {
    std::vector<std::string> requests, lines, boxes, files;
    bool operator==(const Outcome&) const = default;
  };
  auto run = [&](bool verify, unsigned workers) {
    Restart();
    layOutChanged();
    Engine().SetDigestSettleForTesting(0);
    Engine().SetVerifyDigests(verify);
    Engine().SetDigestWorkers(workers);
    const size_t linesBefore = window_.StatusLines().size();
    RunUpdate();
    Outcome outcome;
    for (const RecordedRequest& request : server_.Requests()) outcome.requests.push_back(request.method + " " + request.target);
    const auto lines = window_.StatusLines();
    outcome.lines.assign(lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end());
    // The repair run says so as it starts; apart from that it shows what every run shows.
    EXPECT_EQ(std::erase(outcome.lines, Message(kMessageCheckingEveryFile)), verify ? 1u : 0u);
    // A transfer slowed by a busy machine repeats its progress line more often.
    outcome.lines.erase(std::unique(outcome.lines.begin(), outcome.lines.end()), outcome.lines.end());
    outcome.boxes = BoxTexts();
    for (const char* name : {"Data.SPF", "A.SPF", "B.SPF", "C.SPF", "D.SPF", "E.SPF", "Sub/F.SPF", "Old.SPF"})
      outcome.files.push_back(name + std::string(" ") + (Exists(name) ? install_.ReadFile(name) : "(none)"));
    return outcome;
  };
  const Outcome computed = run(true, 1);
  ExpectFinished();
  EXPECT_EQ(computed.files[2], "B.SPF " + PackBytes("new B.SPF", 2));
  EXPECT_EQ(computed.files[7], "Old.SPF (none)");
  ASSERT_TRUE(Exists("SolaneLauncher.digests"));
  for (const unsigned workers : {1u, 2u, 4u, 0u}) EXPECT_EQ(run(false, workers), computed) << workers << " workers";
  install_.WriteFile("SolaneLauncher.digests", "damaged");
  EXPECT_EQ(run(false, 2), computed) << "damaged cache";

  // A digest kept for a file that has not changed is believed; --verify believes none.
  Serve("A.SPF", install_.ReadFile("A.SPF"));
  for (const bool verify : {false, true}) {
    DigestCache lying(install_.Dir().string());
    lying.Load();
    ASSERT_TRUE(lying.StoreForTesting(install_.Path("A.SPF"), std::string(32, '0')));
    ASSERT_TRUE(lying.Save());
    run(verify, 2);
    ExpectFinished();
    const std::vector<std::string> fetched = Fetched();
    EXPECT_EQ(std::count(fetched.begin(), fetched.end(), "A.SPF"), verify ? 0 : 1) << verify;
  }
}

// The player's limits (the configuration's MaxDownloadKBps, --limit-rate=) meet the server's
// BandWidth: the lowest that is set wins.
TEST_F(UpdateScenario, TheLowestBandwidthLimitWins) {
  struct Case {
    int server, configured, commandLine;
    double expected;
  };
  for (const Case& limit : {Case{0, 0, 0, -1.0}, Case{500, 0, 0, 500.0}, Case{500, 200, 300, 200.0},
                            Case{0, 0, 300, 300.0}, Case{100, 200, 0, 100.0}, Case{0, -5, 0, -1.0}}) {
    Restart();
    install_.WriteConfig("MaxDownloadKBps=" + std::to_string(limit.configured) + "\r\n");
    Load("[SolaneLauncher]\nBandWidth=" + std::to_string(limit.server) + "\n");
    Engine().SetPlayerRateLimit(static_cast<uint32_t>(limit.commandLine));
    EXPECT_EQ(Engine().DownloadRateLimit(), limit.expected) << limit.server << " " << limit.configured << " " << limit.commandLine;
  }
}

// Two launchers that cannot see each other's mutex still never share one installation: the
// second leaves the folder, its temporary files included, to the first.
TEST_F(UpdateScenario, ASecondLauncherLeavesAHeldInstallationAlone) {
  install_.WriteFile("Temp/Data.SPF", "the first launcher's download");
  platform::FileLock first(install_.Path("SolaneLauncher.lock"));
  ASSERT_EQ(first.status(), platform::FileLock::Status::Held);
  Announce("", "", kNewData);
  RunUpdate();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(105)});
  EXPECT_TRUE(Engine().IsCancelled());
  EXPECT_FALSE(Engine().HoldsInstallation());
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(install_.ReadFile("Temp/Data.SPF"), "the first launcher's download");

#ifndef _WIN32  // a FIFO is Linux's
  // A lock that cannot be taken at all (a FIFO in its place; the end held open keeps a fault
  // from hanging the test) stops the run too, and says why.
  Restart();
  const std::string lockPath = install_.Path("SolaneLauncher.lock");
  std::filesystem::remove(lockPath);
  ASSERT_EQ(mkfifo(lockPath.c_str(), 0644), 0);
  const int writer = open(lockPath.c_str(), O_RDWR | O_NONBLOCK);
  Announce("", "", kNewData);
  RunUpdate();
  close(writer);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(123) + "\n\nErrorCode : 87\n" + lockPath + ": Invalid argument."});
  EXPECT_FALSE(Engine().HoldsInstallation());
  EXPECT_TRUE(server_.Requests().empty());
  EXPECT_EQ(install_.ReadFile("Temp/Data.SPF"), "the first launcher's download");
#endif
}

TEST_F(UpdateScenario, RegistryValuesMoveAsText) {
  const RegistryLocation location{platform::RegistryRoot::LocalMachine, kDefaultRegistryPath};
  for (const char* name : {"Moved", "Kept", "Taken", "Existing", "Refused", "Itself"}) WriteRegistryValue(location, name, name, platform::kRegSz);
  const uint32_t dword = 0x00003231;  // bytes "1", "2", 0, 0
  platform::RegistrySetValue(location.root, location.path, "Number", platform::kRegDword, &dword, 4);
  Load("[SolaneLauncher]\nRegMoveCount=7\n"
       "1_From_RegValue=Moved\n1_To_RegValue=MovedTo\n1_Delete=1\n"
       "2_From_RegValue=Kept\n2_To_RegValue=KeptTo\n"
       "3_From_RegValue=Taken\n3_To_RegValue=Existing\n3_Delete=1\n"  // kept: its text is not at the destination
       "4_From_RegValue=Absent\n4_To_RegValue=AbsentTo\n4_Delete=1\n"
       "5_From_RegValue=Number\n5_To_RegValue=NumberText\n"
       "6_From_RegValue=Refused\n6_To_RegKey=2\n6_To_RegSubKey=Empty\\\\Step\n6_To_RegValue=RefusedTo\n6_Delete=1\n"  // an empty key step: the write is refused
       "7_From_RegValue=Itself\n7_To_RegValue=itself\n7_Delete=1\n");
  Engine().MigrateRegistry();
  const std::pair<const char*, const char*> expected[] = {
      {"Moved", ""}, {"MovedTo", "Moved"}, {"Kept", "Kept"}, {"KeptTo", "Kept"},
      {"Taken", "Taken"}, {"Existing", "Existing"}, {"AbsentTo", ""}, {"NumberText", "12"},
      {"Refused", "Refused"}, {"Itself", "Itself"},  // a refused write or a move onto itself loses nothing
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(ReadRegistryText(location, name), value) << name;
  EXPECT_EQ(platform::RegistryQueryValue(location.root, location.path, "NumberText").value().type, platform::kRegSz);
}

// A count is the file's claim: two billion costs no more than the entries really written. A
// cancelled engine works through none of the lists.
TEST_F(UpdateScenario, ListsCostOnlyTheEntriesWrittenAndStopWhenCancelled) {
  for (const char* name : {"Old.dat", "Extra.SPF"}) install_.WriteFile(name, "x");
  WriteRegistryValue({platform::RegistryRoot::LocalMachine, kDefaultRegistryPath}, "From", "moved", platform::kRegSz);
  Load("[SolaneLauncher]\nRegMoveCount=2147483647\n7_From_RegValue=From\n7_To_RegValue=To\n"
       "[Delete]\nDeleteCount=2147483647\n9_FileName=Old.dat\n"
       "[LoginServerList]\nLoginServerListCount=2147483647\n1_Name=North\n1_Label=n\n1_IP=10.0.0.1\n");
  const auto started = std::chrono::steady_clock::now();
  Engine().MigrateRegistry();
  Engine().DeleteListedFiles();
  Engine().MergeServerList();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
  EXPECT_EQ(ReadRegistryText({platform::RegistryRoot::LocalMachine, kDefaultRegistryPath}, "To"), "moved");
  EXPECT_FALSE(Exists("Old.dat"));
  EXPECT_EQ(Engine().EntryCount(), 1);

  install_.WriteFile("Old.dat", "x");
  Engine().SetCancel(true, true);
  // The player's "keep going" withdraws only the player's own request, not this one.
  Engine().SetCancel(false, true, PatchEngine::CancelRequester::Player);
  EXPECT_TRUE(Engine().IsCancelled());
  Engine().DeleteListedFiles();
  Engine().PurgeUnlistedPacks({"Data.SPF"});
  EXPECT_TRUE(Exists("Old.dat") && Exists("Extra.SPF"));
}

TEST(PackDate, OutdatedOnlyWhenTheServerCopyIsLater) {
  using Case = std::tuple<const char*, const char*, bool>;  // local, server, outdated
  for (const Case& c : {Case{"[2024-05-01][10:00:00]", "[2024-05-01][10:00:01]", true},
                        Case{"[2024-05-01][10:00:00]", "[2024-05-01][10:00:00]", false},
                        Case{"[2025-01-01][00:00:00]", "[2024-12-31][23:59:59]", false},  // later local year
                        Case{"[2024-05-01][10:00:00]", "0", true},
                        Case{"", "[2024-05-01][10:00:00]", true},
                        Case{"[2024-05-01][10:00:00]", "yesterday", true}})
    EXPECT_EQ(IsPackDateOutdated(std::get<0>(c), std::get<1>(c)), std::get<2>(c)) << std::get<0>(c) << " / " << std::get<1>(c);
}

// The pack check's mode selects what is compared, and its report file records what was found.
TEST_F(UpdateScenario, PackCheckModeSelectsWhatIsCompared) {
  install_.WriteFile("Data.SPF", "abc");
  install_.WriteConfig("CRC=FILE\r\n");
  // 891568578 is the CRC-32 of "abc"; the size cannot be asked of a server here, so mode 2 fails.
  Load("[Resource]\n1_FileName=Data.SPF\n1_Check=2\n1_CRC=891568578\n2_FileName=Data.SPF\n2_Check=5\n3_Check=2\n");
  EXPECT_EQ(Engine().CheckPackIntegrity("Resource", "1"), 1);
  EXPECT_EQ(Engine().CheckPackIntegrity("Resource", "2"), 1);
  EXPECT_EQ(Engine().CheckPackIntegrity("Resource", "3"), 0);  // no file name: no check
  EXPECT_EQ(Engine().CheckPackIntegrity("Resource", "4"), 0);  // no mode
  const std::string report = install_.Path("SolaneLauncher.CRC");
  EXPECT_EQ(platform::GetProfileString(report, "Resource", "1_Local_Crc", ""), "891568578");
  EXPECT_EQ(platform::GetProfileString(report, "Resource", "1_Local_Size", ""), "3");
  EXPECT_EQ(platform::GetProfileString(report, "Resource", "1_Ftp___File", ""), "Data.SPF");
}

#ifndef _WIN32  // the publisher's signing (libcrypto) is not in the Windows build
// One release as the publisher signs it; each case of the test below changes one thing of it.
struct Release {
  uint64_t serial = 100;
  std::string launcher;  // lines first in [SolaneLauncher]
  std::string dataDigest = Sha256Hex(PackBytes("new data", 6));
  int signer = 0;  // -1: no Update.NFO.sig on the server
  std::function<void(std::string& info, std::string& signature)> damage;
  std::string more;  // sections after the resources
};

// With a publisher key, a refused Update.NFO is answered with 167 (unattended: no retry), nothing
// after it is fetched and the status line says why. A file off its SHA-256 is fetched but never
// installed, and a new launcher never handed over. Once a signed release was accepted, the
// installation's record holds the key and its serial: a key line that goes, or a record that
// cannot be read or written, never lets an unsigned or older release in.
TEST_F(UpdateScenario, OnlyWhatThePublisherSignedIsInstalled) {
  ScratchDir keys;
  std::vector<SigningKey> signers;
  for (const char* folder : {"keys", "other"}) {
    std::string error;
    std::vector<std::string> warnings;
    signers.push_back(*SigningKey::Load(GenerateKeyPair(keys.PathOf(folder)).privateKeyPath, error, warnings));
  }
  Serve("SolaneLauncher.new", "a launcher that is not the signed one");
  const std::string oldData = PackBytes("old data", 5), newData = PackBytes("new data", 6);
  const std::string key = "PublisherKey=" + signers[0].PublicKey().ToBase64() + "\r\n";
  const std::string record = ReleaseTrust::kFileName;
  const std::vector<std::string> refused{Message(167)};
  auto failed = [](const std::string& reason) { return std::vector<std::string>{Message(123) + "\n\n" + reason}; };
  const struct {
    const char* what;
    Release release;
    std::string keyLine;
    std::vector<std::string> boxes;
    int reason;  // the refused file's status line
    std::function<void()> spoil = {};  // done to the installation before the run, undone after
  } cases[] = {
      {"no key: as before", {}, "", {}, 0},
      {"signed", {}, key, {}, 0},
      {"a delete list naming the record and the lock",
       {.more = "[Delete]\nDeleteCount=2\n1_FileName=solanelauncher.trust\n2_FileName=SolaneLauncher.lock\n"}, key, {}, 0},
      {"one byte changed", {.damage = [](std::string& info, std::string&) { info[info.find("Version=6")] ^= 0x20; }}, key, refused, 171},
      {"no signature", {.signer = -1}, key, refused, 170},
      {"garbled signature", {.damage = [](std::string&, std::string& signature) { signature = "not*a*signature\r\n"; }}, key, refused, 170},
      {"another key", {.signer = 1}, key, refused, 171},
      {"an older release", {.serial = 99}, key, refused, 172},
      {"no serial", {.launcher = "Serial=none\n"}, key, refused, 172},
      {"an unreadable key", {}, "PublisherKey=abc\r\n", refused, 174},
      {"pack bytes differ", {.dataDigest = Sha256Hex(oldData)}, key, failed("Data.SPF " + Message(168)), 0},
      {"pack without digest", {.dataDigest = "No"}, key, failed("Data.SPF " + Message(173)), 0},
      {"launcher bytes differ",
       {.launcher = "VersionMinorLow=7\nFileName=SolaneLauncher.new\nSHA256=" + Sha256Hex("the signed launcher") + "\n"},
       key, failed("SolaneLauncher.new " + Message(168)), 0},
      {"the key line gone", {.signer = -1}, "", refused, 176},
      {"the key line misspelt", {.signer = -1}, "PublisherKy=" + signers[0].PublicKey().ToBase64() + "\r\n", refused, 176},
      {"the configuration switched to another key", {.signer = 1}, "PublisherKey=" + signers[1].PublicKey().ToBase64() + "\r\n",
       refused, 176},
      {"a garbled record", {}, key, refused, 177, [&] { install_.WriteFile(record, "100\n"); }},
      {"a newer serial that cannot be kept", {.serial = 101}, key, refused, 178,
       [&] { install_.WriteFile(record + ".new/in-the-way", ""); }},
  };
  for (const auto& [what, release, keyLine, boxes, reason, spoil] : cases) {
    Restart();
    install_.WriteFile("Data.SPF", oldData);
    install_.WriteConfig("Url_7=" + server_.Host() + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n" + keyLine);
    std::string info = WithCrLf(Announcement(release.launcher + "Serial=" + std::to_string(release.serial) + "\n", "",
                                             kNewData + "1_SHA256=" + release.dataDigest + "\n", release.more));
    std::string signature = *signers[std::max(release.signer, 0)].SignatureText(info);
    if (release.damage) release.damage(info, signature);
    server_.PutFile("patch/Update.NFO", info);
    server_.PutFile("patch/Update.NFO.sig", signature);
    if (release.signer < 0) std::filesystem::remove(server_.Root() + "/patch/Update.NFO.sig");
    const std::string kept = install_.ReadFile(record);
    if (spoil) spoil();
    const auto linesBefore = static_cast<std::ptrdiff_t>(window_.StatusLines().size());
    RunUpdate();
    EXPECT_EQ(BoxTexts(), boxes) << what;
    EXPECT_EQ(install_.ReadFile("Data.SPF"), boxes.empty() ? newData : oldData) << what;
    EXPECT_FALSE(Engine().IsLauncherUpdatePending()) << what;
    EXPECT_FALSE(Exists("Temp")) << what;
    if (spoil) {
      std::filesystem::remove_all(install_.Path(record + ".new"));
      install_.WriteFile(record, kept);
    }
    const std::vector<std::string> fetched = Fetched();
    if (keyLine.empty() && boxes.empty()) EXPECT_EQ(fetched, (std::vector<std::string>{"Update.NFO", "Data.SPF"}));
    if (boxes.empty() && !keyLine.empty()) {
      EXPECT_TRUE(Exists(record) && Exists("SolaneLauncher.lock")) << what;
      EXPECT_EQ(fetched, (std::vector<std::string>{"Update.NFO", "Update.NFO.sig", "Data.SPF"}));
      const std::vector<std::string> lines = window_.StatusLines();
      EXPECT_NE(std::find(lines.begin() + linesBefore, lines.end(), "Update.NFO " + Message(175)), lines.end());
    }
    if (reason == 0) continue;
    EXPECT_EQ(window_.LastStatusLine(), "Update.NFO " + Message(reason)) << what;
    for (const std::string& name : fetched) EXPECT_TRUE(name.starts_with("Update.NFO")) << what << ": " << name;
  }
  EXPECT_NE(install_.ReadFile(record).find(signers[0].PublicKey().Fingerprint() + " 100\n"), std::string::npos);

  // The record is the installation's own: another installation of the same account, following
  // another server, takes that server's release with its lower serial.
  install_.WriteFile("second/SolaneLauncher.CFG", "[SolaneLauncher.CFG]\r\nUrl_7=" + server_.Host() +
                                                     "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n" + key);
  InstallProgram("second/SolaneLauncher", 1, 0);
  InstallProgram("second/SolaneClient.exe", 1, 1);
  install_.WriteFile("second/Data.SPF", oldData);
  const std::string info = WithCrLf(Announcement("Serial=99\n", "", kNewData + "1_SHA256=" + Sha256Hex(newData) + "\n"));
  server_.PutFile("patch/Update.NFO", info);
  server_.PutFile("patch/Update.NFO.sig", *signers[0].SignatureText(info));
  Restart("second/SolaneLauncher");
  RunUpdate();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{});
  EXPECT_EQ(install_.ReadFile("second/Data.SPF"), newData);
  EXPECT_NE(install_.ReadFile("second/" + record).find(" 99\n"), std::string::npos);
}
#endif

}  // namespace
