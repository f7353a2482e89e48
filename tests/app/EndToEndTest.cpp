// The built launcher against a published release on a local server: an old installation
// brought up to date and the game started, a start while the game runs, and the launcher
// replacing its own executable through its chain of processes.

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <thread>

#include "patch/FileVersion.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"
#include "window/Catalogue.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kLoginAddress = "127.0.0.1:27015";
constexpr const char* kLauncherTag = "SolaneLauncher-VANTIK";

std::string Description() {
  return std::string(
             "[Launcher]\nFile = SolaneLauncher\n"
             "[Client]\nFile = SolaneClient.exe\nZip = yes\n"
             "[Pack]\nFile = data/Map.SPF\nCheck = 3\n"
             "[Pack]\nFile = Texture.SPF\nZip = yes\n"
             "[Pack]\nFile = Sound.SPF\nFlag = MD5\n"
             "[Delete]\nFile = OldNotes.txt\n"
             "[LoginServers]\nAddress = ") +
         kLoginAddress + "\n";
}

std::string MapPack(uint32_t version) { return PackBytes(PatternBytes(300000, version), version); }
std::string TexturePack(uint32_t version) { return PackBytes(PatternBytes(200000, 10 + version), version); }
std::string SoundPack() { return PackBytes(PatternBytes(50000, 7), 2); }

std::vector<std::string> SplitAtBlanks(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// Compares whole files without printing them when they differ.
bool SameBytes(const std::optional<std::string>& a, const std::optional<std::string>& b) { return a && b && *a == *b; }

// A release with the launcher at `launcherVersion` and client 1.0.0.1 is served under /patch/,
// and the installation is an old one: client 1.0.0.0, an outdated and a missing pack (zipped),
// a pack compared by digest that is current, a pack no longer announced, a file to delete.
class EndToEndTest : public testing::Test {
 protected:
  void PublishRelease(const std::string& launcherVersion) {
    ASSERT_TRUE(server_.IsRunning());
    ASSERT_EQ(release_.AddProgram(BuiltLauncher(), "SolaneLauncher", launcherVersion), "");
    ASSERT_EQ(release_.AddProgram(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.1"), "");
    ASSERT_TRUE(release_.AddFile("data/Map.SPF", MapPack(3)));
    ASSERT_TRUE(release_.AddFile("Texture.SPF", TexturePack(5)));
    ASSERT_TRUE(release_.AddFile("Sound.SPF", SoundPack()));
    ASSERT_EQ(release_.PublishTo(server_.Root() + "/patch", Description()), "");
  }

  void LayOutOldInstallation(const InstalledLauncher& installation, const std::string& launcherVersion) {
    ASSERT_EQ(installation.Install(BuiltLauncher(), "SolaneLauncher", launcherVersion), "");
    ASSERT_EQ(installation.Install(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.0"), "");
    ASSERT_TRUE(installation.Write("data/Map.SPF", MapPack(2)));
    ASSERT_TRUE(installation.Write("Sound.SPF", SoundPack()));
    ASSERT_TRUE(installation.Write("Unlisted.SPF", PackBytes("old", 1)));
    ASSERT_TRUE(installation.Write("OldNotes.txt", "notes of an old patch\n"));
    ASSERT_TRUE(installation.Write("SolaneLauncher.CFG",
                                   LauncherConfig(server_.Port(), "LOCALE=KOREA\r\nPUBLISHER=ORVEX\r\n")));
  }

  // Every file of the release is in the installation with the same bytes.
  void ExpectReleaseInstalled(const InstalledLauncher& installation) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(release_.Dir())) {
      if (!entry.is_regular_file()) continue;
      const std::string name = fs::relative(entry.path(), release_.Dir()).string();
      EXPECT_TRUE(SameBytes(installation.Read(name), release_.Read(name))) << name;
    }
  }

  // The downloads, "GET /patch/Update.NFO" and so on, in order (size queries left out).
  std::vector<std::string> Requests() const {
    std::vector<std::string> requests;
    for (const RecordedRequest& request : server_.Requests())
      if (request.method == "GET") requests.push_back(request.method + " " + request.decodedPath);
    return requests;
  }

  FixtureServer server_;
  PublishedRelease release_;
};

TEST_F(EndToEndTest, OldInstallationIsUpdatedAndTheGameStarted) {
  ASSERT_NO_FATAL_FAILURE(PublishRelease("1.0.0.0"));
  InstalledLauncher installation;
  ASSERT_NO_FATAL_FAILURE(LayOutOldInstallation(installation, "1.0.0.0"));

  const std::string clientLine =
      std::string("/Full /LoginServer:") + kLoginAddress + " /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX";
  const std::vector<std::string> nothingNew{"GET /patch/Update.NFO"};
  const struct {
    std::string commandLine;
    std::string expectedLine;
    std::vector<std::string> downloads;
  } runs[] = {
      // The current launcher and the pack current by its digest are not fetched; zipped files
      // come as their archives.
      {"",
       clientLine,
       {"GET /patch/Update.NFO", "GET /patch/SolaneClient.zip", "GET /patch/data/Map.SPF", "GET /patch/Texture.zip"}},
      // Started from a web page: the client gets the whole command line as one value.
      {"/WEBARG:abc /", clientLine + " /WEBARG:/WEBARG:abc`/", nothingNew},
      // Started by a launcher: only the value of the switch.
      {std::string("/EXEC:") + kLauncherTag + " /WEBARG:abc /", clientLine + " /WEBARG:abc", nothingNew},
  };
  std::string expectedLog;
  for (const auto& run : runs) {
    SCOPED_TRACE(run.commandLine);
    ASSERT_TRUE(server_.Reset());
    std::vector<std::string> arguments{"--console", "--autorun"};
    for (const std::string& word : SplitAtBlanks(run.commandLine)) arguments.push_back(word);
    const ProgramResult result = installation.Run(arguments);
    ASSERT_EQ(result.exitCode, 0) << result.output;

    expectedLog += run.expectedLine + "\n";
    EXPECT_EQ(installation.Read("SolaneClient.log").value_or("(no log)"), expectedLog);
    ExpectReleaseInstalled(installation);
    EXPECT_FALSE(installation.Exists("Unlisted.SPF"));
    EXPECT_FALSE(installation.Exists("OldNotes.txt"));
    EXPECT_FALSE(installation.Exists("Temp"));
    EXPECT_EQ(Requests(), run.downloads);
  }
  EXPECT_NE(installation.Read("SolaneLauncher.CFG").value_or("").find("ScreenMode=FULL"), std::string::npos);
}

TEST_F(EndToEndTest, StartWhileTheGameRunsStartsNoSecondClient) {
  ASSERT_NO_FATAL_FAILURE(PublishRelease("1.0.0.0"));
  InstalledLauncher installation;
  ASSERT_NO_FATAL_FAILURE(LayOutOldInstallation(installation, "1.0.0.0"));

  std::vector<std::string> environment = installation.Environment();
  environment.push_back("SOLANE_CLIENT_STAY_SECONDS=30");
  const int client = installation.Start({"SolaneClient.exe", "/Running"}, environment);
  ASSERT_GT(client, 0);
  // The stand-in logs its start; from then on it is a running client.
  for (int i = 0; i < 200 && !installation.Exists("SolaneClient.log"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  ASSERT_TRUE(installation.Exists("SolaneClient.log")) << "the stand-in did not start";

  const ProgramResult result = installation.Run({"--console", "--autorun"});
  kill(client, SIGKILL);
  waitpid(client, nullptr, 0);

  EXPECT_NE(result.output.find(LoadCatalogueStringIn(kLanguageKorean, 144)), std::string::npos) << result.output;
  EXPECT_EQ(installation.Read("SolaneClient.log").value_or("(no log)"), "/Running\n");
}

// Makes a folder unwritable for this process, even for the administrator; undone at the end.
class WriteProtectedFolder {
 public:
  explicit WriteProtectedFolder(std::string path) : path_(std::move(path)) {
    if (geteuid() != 0) {
      protected_ = chmod(path_.c_str(), 0555) == 0;
      return;
    }
    // The administrator writes anywhere; only the file system's immutable flag stops it.
    const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      protected_ = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
  }
  ~WriteProtectedFolder() {
    if (!protected_) return;
    if (geteuid() != 0) {
      chmod(path_.c_str(), 0755);
      return;
    }
    const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    if (fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) close(fd);
  }
  bool IsProtected() const { return protected_; }

 private:
  std::string path_;
  bool protected_ = false;
};

TEST_F(EndToEndTest, NewLauncherReplacesTheInstalledOne) {
  ASSERT_NO_FATAL_FAILURE(PublishRelease("1.0.1.0"));
  InstalledLauncher installation("Solane Games");
  ASSERT_NO_FATAL_FAILURE(LayOutOldInstallation(installation, "1.0.0.0"));

  // Unattended: the installed launcher hands over to the new one in Temp, which copies itself
  // over the installed file and starts it; that one brings the rest up to date.
  const ProgramResult result = installation.Run({"--console"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  ASSERT_TRUE(installation.WaitUntilNoneRuns(60)) << result.output;

  const std::optional<VersionWords> installed = ReadVersionWords(installation.PathOf("SolaneLauncher"));
  ASSERT_TRUE(installed.has_value()) << result.output;
  EXPECT_EQ(installed->high, 1u << 16) << result.output;
  EXPECT_EQ(installed->low, 1u << 16) << result.output;
  EXPECT_FALSE(installation.Exists("Temp")) << result.output;
  ExpectReleaseInstalled(installation);
  EXPECT_FALSE(installation.Exists("SolaneClient.log")) << "no auto-run, no game";
  // The single-instance lock lives in the scratch runtime folder, not in the machine's.
  bool lockHere = false;
  for (const fs::directory_entry& entry : fs::directory_iterator(installation.RuntimeDir()))
    lockHere = lockHere || entry.path().filename().string().starts_with("solane-mutex-");
  EXPECT_TRUE(lockHere);
}

TEST_F(EndToEndTest, FailedReplacementLeavesTheOldLauncherIntact) {
  ASSERT_NO_FATAL_FAILURE(PublishRelease("1.0.1.0"));
  InstalledLauncher installation("Solane Games");
  ASSERT_EQ(installation.Install(BuiltLauncher(), "locked/SolaneLauncher", "1.0.0.0"), "");
  ASSERT_EQ(installation.Install(BuiltLauncher(), "Temp/SolaneLauncher", "1.0.1.0"), "");
  // The copy in Temp goes on as an ordinary launcher after the failure; it talks to the fixture.
  ASSERT_TRUE(installation.Write("Temp/SolaneLauncher.CFG", LauncherConfig(server_.Port())));
  const std::string oldBytes = installation.Read("locked/SolaneLauncher").value_or("");
  WriteProtectedFolder locked(installation.PathOf("locked"));
  if (!locked.IsProtected()) GTEST_SKIP() << "cannot write-protect a folder here";

  const std::string commandLine = "/TO:" + installation.PathOf("locked/SolaneLauncher") + " /EXEC:" + kLauncherTag +
                                  " /LOCALE:KOREA /PUBLISHER:ORVEX /";
  const ProgramResult result = installation.Run(SplitAtBlanks(commandLine), "Temp/SolaneLauncher");
  ASSERT_TRUE(installation.WaitUntilNoneRuns(30));

  EXPECT_TRUE(SameBytes(installation.Read("locked/SolaneLauncher"), oldBytes)) << result.output;
  // The ordinary run that follows needs its own program file.
  EXPECT_TRUE(SameBytes(installation.Read("Temp/SolaneLauncher"), release_.Read("SolaneLauncher"))) << result.output;
  const std::vector<std::string> requested = Requests();
  EXPECT_EQ(std::count(requested.begin(), requested.end(), "GET /patch/Update.NFO"), 1) << result.output;
  EXPECT_EQ(std::count(requested.begin(), requested.end(), "GET /patch/SolaneLauncher"), 0) << result.output;
}

}  // namespace
