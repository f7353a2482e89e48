// The built launcher against a published release on a local server: an old installation
// brought up to date and the game started, a start while the game runs, and the launcher
// replacing its own executable through its chain of processes.

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "platform/Clock.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"
#include "tests/support/Requirement.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestAuthority.h"
#ifndef _WIN32
#include "tools/publish/Signing.h"
#endif
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

namespace fs = std::filesystem;

const std::string kDescription =
    "[Launcher]\nFile = " + kLauncherName + "\n[Client]\nFile = SolaneClient.exe\nZip = yes\n"
    "[Pack]\nFile = data/Map.SPF\nCheck = 3\n[Pack]\nFile = Texture.SPF\nZip = yes\n"
    "[Pack]\nFile = Sound.SPF\nFlag = MD5\n[Delete]\nFile = OldNotes.txt\n[LoginServers]\nAddress = 127.0.0.1:27015\n";

std::string MapPack(uint32_t version) { return PackBytes(PatternBytes(300000, version), version); }
std::string TexturePack(uint32_t version) { return PackBytes(PatternBytes(200000, 10 + version), version); }
std::string SoundPack() { return PackBytes(PatternBytes(50000, 7), 2); }

// Compares whole files without printing them when they differ.
bool SameBytes(const std::optional<std::string>& a, const std::optional<std::string>& b) { return a && b && *a == *b; }

// A release with the launcher at `launcherVersion` and client 1.0.0.1 is served under /patch/,
// and the installation is an old one: client 1.0.0.0, an outdated and a missing pack (zipped),
// a pack compared by digest that is current, a pack no longer announced, a file to delete.
class EndToEndTest : public testing::Test {
 protected:
  // `launcherFile` is the launcher's name in the release and on the server.
  void PublishRelease(const std::string& launcherVersion, const std::string& launcherFile = kLauncherName,
                      const std::string& serverRoot = "", const std::string& signingKey = "") {
    ASSERT_TRUE(server_.IsRunning());
    ASSERT_EQ(release_.AddProgram(BuiltLauncher(), launcherFile, launcherVersion), "");
    ASSERT_EQ(release_.AddProgram(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.1"), "");
    ASSERT_TRUE(release_.AddFile("data/Map.SPF", MapPack(3)));
    ASSERT_TRUE(release_.AddFile("Texture.SPF", TexturePack(5)));
    ASSERT_TRUE(release_.AddFile("Sound.SPF", SoundPack()));
    std::string description = kDescription;
    // The publisher keeps the digest off for a launcher in a folder, for earlier installations.
    const std::string launcherLine = "File = " + kLauncherName + "\n";
    description.replace(description.find(launcherLine), launcherLine.size(),
                        "File = " + launcherFile + (launcherFile == kLauncherName ? "\n" : "\nMD5 = no\n"));
    ASSERT_EQ(release_.PublishTo((serverRoot.empty() ? server_.Root() : serverRoot) + "/patch", description, signingKey), "");
  }

  void LayOutOldInstallation(const InstalledLauncher& installation, const std::string& launcherVersion) {
    ASSERT_EQ(installation.Install(BuiltLauncher(), kLauncherName, launcherVersion), "");
    ASSERT_EQ(installation.Install(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.0"), "");
    ASSERT_TRUE(installation.Write("data/Map.SPF", MapPack(2)));
    ASSERT_TRUE(installation.Write("Sound.SPF", SoundPack()));
    ASSERT_TRUE(installation.Write("Unlisted.SPF", PackBytes("old", 1)));
    ASSERT_TRUE(installation.Write("OldNotes.txt", "notes of an old patch\n"));
    ASSERT_TRUE(installation.Write("SolaneLauncher.CFG",
                                   LauncherConfig(server_.Port(), "LOCALE=KOREA\r\nPUBLISHER=ORVEX\r\nPublisherKy=x\r\n")));
  }

  // Every file of the release is in the installation with the same bytes; the launcher under its
  // installed name wherever the server keeps it.
  void ExpectReleaseInstalled(const InstalledLauncher& installation) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(release_.Dir())) {
      if (!entry.is_regular_file()) continue;
      const std::string name = fs::relative(entry.path(), release_.Dir()).string();
      const std::string installed = entry.path().filename() == kLauncherName ? kLauncherName : name;
      EXPECT_TRUE(SameBytes(installation.Read(installed), release_.Read(name))) << name;
    }
  }

  FixtureServer server_;
  PublishedRelease release_;
};

TEST_F(EndToEndTest, OldInstallationIsUpdatedAndTheGameStartedOnce) {
  ASSERT_NO_FATAL_FAILURE(PublishRelease("1.0.0.0"));
  InstalledLauncher installation;
  ASSERT_NO_FATAL_FAILURE(LayOutOldInstallation(installation, "1.0.0.0"));

  const std::string clientLine = "/Full /LoginServer:127.0.0.1:27015 /Run:VHIGH /LOCALE:KOREA /PUBLISHER:ORVEX";
  const struct {
    std::vector<std::string> arguments;
    std::string expectedLine;
    std::vector<std::string> downloads;
  } runs[] = {
      // The current launcher and the pack current by its digest are not fetched; zipped files
      // come as their archives.
      {{"--console", "--autorun"},
       clientLine,
       {"Update.NFO", "SolaneClient.zip", "data/Map.SPF", "Texture.zip"}},
      // Started from a web page: the client gets the whole command line as one value.
      {{"--console", "--autorun", "/WEBARG:abc", "/"}, clientLine + " /WEBARG:/WEBARG:abc`/", {"Update.NFO"}},
  };
  std::string expectedLog;
  for (const auto& run : runs) {
    ASSERT_TRUE(server_.Reset());
    const ProgramResult result = installation.Run(run.arguments);
    ASSERT_EQ(result.exitCode, 0) << result.output;

    expectedLog += run.expectedLine + "\n";
    EXPECT_EQ(installation.Read("SolaneClient.log").value_or("(no log)"), expectedLog);
    ExpectReleaseInstalled(installation);
    EXPECT_FALSE(installation.Exists("Unlisted.SPF"));
    EXPECT_FALSE(installation.Exists("OldNotes.txt"));
    EXPECT_FALSE(installation.Exists("Temp"));
    EXPECT_EQ(server_.Fetched("/patch/"), run.downloads);  // in order, size queries left out
    // The mistyped key is named on standard error and in the console's log; the first run names
    // what it deleted.
    const auto count = [&](const std::string& text) {
      size_t found = 0;
      for (size_t at = result.output.find(text); at != std::string::npos; at = result.output.find(text, at + 1))
        ++found;
      return found;
    };
    EXPECT_EQ(count("SolaneLauncher.CFG line 8: the key PublisherKy is unknown and ignored.\n"), 2u) << result.output;
    const std::string deleted = " " + LoadCatalogueStringIn(kLanguageKorean, kMessageFileDeleted) + "\n";
    for (const char* name : {"OldNotes.txt", "Unlisted.SPF"})
      EXPECT_EQ(count(name + deleted), &run == runs ? 1u : 0u) << name << "\n" << result.output;
  }

  // Started while the game runs, the launcher says so and starts no second client.
  std::vector<std::string> environment = installation.Environment();
  environment.push_back("SOLANE_CLIENT_STAY_SECONDS=30");
  const int client = installation.Start({"SolaneClient.exe", "/Running"}, environment);
  ASSERT_GT(client, 0);
  expectedLog += "/Running\n";  // the stand-in logs its start; from then on it is a running client
  for (int i = 0; i < 200 && installation.Read("SolaneClient.log") != expectedLog; ++i) platform::SleepMs(25);
  ASSERT_EQ(installation.Read("SolaneClient.log").value_or(""), expectedLog) << "the stand-in did not start";
  const ProgramResult result = installation.Run({"--console", "--autorun"});
  KillProgram(client);
  EXPECT_NE(result.output.find(LoadCatalogueStringIn(kLanguageKorean, 144)), std::string::npos) << result.output;
  EXPECT_EQ(installation.Read("SolaneClient.log").value_or("(no log)"), expectedLog);
}

#ifndef _WIN32  // the keys are made by the publisher's libcrypto, which the Windows build lacks
// The release signed and served over HTTPS with a certificate from the tests' own authority,
// which CURL_CA_BUNDLE names: the launcher verifies the signature and every digest, and the whole
// update goes through. The refusals are the update scenarios' (tests/patch).
TEST_F(EndToEndTest, SignedReleaseOverHttpsIsVerifiedAndInstalled) {
  TestAuthority authority;
  const std::optional<TestAuthority::Issued> certificate = authority.Issue("patch-server", "IP:127.0.0.1");
  SOLANE_REQUIRE(certificate, "openssl cannot make certificates here");
  ScratchDir scratch;
  const KeyPairResult keys = GenerateKeyPair(scratch.PathOf("keys"));
  ASSERT_EQ(keys.error, "");
  ASSERT_NO_FATAL_FAILURE(PublishRelease("1.0.0.0", "SolaneLauncher", scratch.PathOf("www"), keys.privateKeyPath));
  ServerProcess server("tls_server.py", {scratch.PathOf("www"), certificate->certificate, certificate->key});
  ASSERT_TRUE(server.IsRunning());
  InstalledLauncher installation;
  ASSERT_NO_FATAL_FAILURE(LayOutOldInstallation(installation, "1.0.0.0"));
  ASSERT_TRUE(installation.Write("SolaneLauncher.CFG", "[SolaneLauncher.CFG]\r\nRun=7\r\nUrl_7=https://127.0.0.1:" +
                                                           std::to_string(server.Port()) + "\r\nType_7=2\r\nServer_Path_7=patch/\r\n"
                                                           "LOCALE=KOREA\r\nPublisherKey=" + keys.publicKeyBase64 + "\r\n"));

  std::vector<std::string> environment = installation.Environment();
  environment.push_back("CURL_CA_BUNDLE=" + authority.CertificatePath());
  const ProgramResult result = RunProgram({installation.PathOf("SolaneLauncher"), "--console", "--autorun"}, environment);
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("Update.NFO " + LoadCatalogueStringIn(kLanguageKorean, 175)), std::string::npos) << result.output;
  ExpectReleaseInstalled(installation);
  EXPECT_FALSE(installation.Exists("Unlisted.SPF"));
  EXPECT_TRUE(installation.Exists("SolaneClient.log")) << result.output;
}

#endif

#ifdef _WIN32
// Keeps the launcher in a folder from being replaced: held open without leave to delete it.
class WriteProtectedFolder {
 public:
  explicit WriteProtectedFolder(const std::string& path) : held_(path + "/" + kLauncherName) {}
  bool IsProtected() const { return held_.is_open(); }

 private:
  std::ifstream held_;
};
#else
// Makes a folder unwritable for this process, even for the administrator, whom only the file
// system's immutable flag stops; undone at the end.
class WriteProtectedFolder {
 public:
  explicit WriteProtectedFolder(std::string path) : path_(std::move(path)), protected_(Protect(true)) {}
  ~WriteProtectedFolder() {
    if (protected_) Protect(false);
  }
  bool IsProtected() const { return protected_; }

 private:
  bool Protect(bool on) const {
    if (geteuid() != 0) return chmod(path_.c_str(), on ? 0555 : 0755) == 0;
    const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = false;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    close(fd);
    return done;
  }

  std::string path_;
  bool protected_;
};
#endif

// The server keeps the new launcher in a folder of its own: the one downloaded there is started.
TEST_F(EndToEndTest, NewLauncherReplacesTheInstalledOne) {
  ASSERT_NO_FATAL_FAILURE(PublishRelease("1.0.1.0", "bin/" + kLauncherName));
  // The folder's run of blanks must reach every launcher of the chain unchanged.
  InstalledLauncher installation("Solane  Games");
  ASSERT_NO_FATAL_FAILURE(LayOutOldInstallation(installation, "1.0.0.0"));

  // Unattended: the installed launcher hands over to the new one in Temp, which copies itself
  // over the installed file and starts it; that one brings the rest up to date.
  const ProgramResult result = installation.Run({"--console"});
  EXPECT_EQ(result.exitCode, 0) << result.output;
  ASSERT_TRUE(installation.WaitUntilNoneRuns(60)) << result.output;

  EXPECT_FALSE(installation.Exists("Temp")) << result.output;
  ExpectReleaseInstalled(installation);
  EXPECT_FALSE(installation.Exists("SolaneClient.log")) << "no auto-run, no game";
}

// Only the copy in the target's own Temp folder may take its place. A copy there that cannot (its
// folder write-protected) keeps its own file, says so and ends with 1: a launcher started to
// replace another never runs an update, which from Temp would go without the installation's
// trust. The installed launcher tries again at its next start.
TEST_F(EndToEndTest, OnlyTheCopyInTheTargetsTempFolderMayReplaceIt) {
  ASSERT_NO_FATAL_FAILURE(PublishRelease("1.0.1.0"));
  InstalledLauncher installation("Solane Games");
  const std::string& name = kLauncherName;
  const struct {
    std::string launcher;
    std::string target;
  } runs[] = {
      {"a/" + name, "b/" + name},       // the same name, but not started from b/Temp
      {"c/Temp/" + name, "c/victim"},   // from c/Temp, but another file
      {"d/Temp2/" + name, "d/" + name}, // a folder that only begins like Temp
      {"locked/Temp/" + name, "locked/" + name},
  };
  for (const auto& run : runs) {
    const bool locking = run.target.starts_with("locked/");
    const std::string folder = fs::path(run.launcher).parent_path().string();
    ASSERT_EQ(installation.Install(BuiltLauncher(), run.launcher, "1.0.1.0"), "");
    // Every launcher here would find the server, were it to look for updates.
    ASSERT_TRUE(installation.Write(folder + "/SolaneLauncher.CFG", LauncherConfig(server_.Port())));
    const std::string targetFolder = fs::path(run.target).parent_path().string();
    ASSERT_TRUE(installation.Write(targetFolder + "/SolaneLauncher.CFG", LauncherConfig(server_.Port())));
    ASSERT_TRUE(installation.Write(targetFolder + "/Temp/.keep", ""));
    ASSERT_TRUE(installation.Write(run.target, "#!/bin/sh\ntouch \"$0.started\"\n"));
    fs::permissions(installation.PathOf(run.target), fs::perms::owner_exec, fs::perm_options::add);
    const std::string before = installation.Read(run.target).value_or("");
    std::optional<WriteProtectedFolder> locked;
    if (locking) locked.emplace(installation.PathOf("locked"));
    SOLANE_REQUIRE(!locking || locked->IsProtected(), "cannot write-protect a folder here");
    ASSERT_TRUE(server_.Reset());

    const ProgramResult result = installation.Run(
        {"/TO:" + installation.PathOf(run.target), "/EXEC:SolaneLauncher-VANTIK", "/LOCALE:USA", "/"}, run.launcher);
    ASSERT_TRUE(installation.WaitUntilNoneRuns(30));
    EXPECT_EQ(result.exitCode, 1) << run.launcher << "\n" << result.output;
    EXPECT_NE(result.output.find(LoadCatalogueStringIn(kLanguageEnglish, 122) + " " +
                                 LoadCatalogueStringIn(kLanguageEnglish, 123) + " " +
                                 LoadCatalogueStringIn(kLanguageEnglish, locking ? 106 : 103)),
              std::string::npos)
        << run.launcher << "\n" << result.output;
    EXPECT_TRUE(installation.Read(run.target) == before) << run.launcher << " replaced its target\n" << result.output;
    EXPECT_FALSE(installation.Exists(run.target + ".started")) << run.launcher;
    EXPECT_TRUE(SameBytes(installation.Read(run.launcher), release_.Read(kLauncherName))) << run.launcher;
    EXPECT_EQ(server_.Fetched("/patch/"), std::vector<std::string>{}) << run.launcher << "\n" << result.output;
  }
}

}  // namespace
