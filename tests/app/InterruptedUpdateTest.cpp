// A launcher killed outright (SIGKILL, TerminateProcess) in the middle of an update: every
// installed file is still the old one or the new one, never a part, and the next run finishes the
// update, continuing the download that was cut.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/InstalledLauncher.h"
#include "tests/support/PublishedRelease.h"

namespace {

const std::string kDescription =
    "[Launcher]\nFile = " + kLauncherName + "\n[Client]\nFile = SolaneClient.exe\n"
    "[Pack]\nFile = data/Map.SPF\n[Pack]\nFile = Big.SPF\n[Pack]\nFile = Texture.SPF\nZip = yes\n"
    "[LoginServers]\nAddress = 127.0.0.1:27015\n";

std::string Map(uint32_t version) { return PackBytes(PatternBytes(300000, version), version); }
std::string Big(uint32_t version) { return PackBytes(PatternBytes(3000000, 20 + version), version); }
std::string Texture(uint32_t version) { return PackBytes(PatternBytes(200000, 40 + version), version); }

class InterruptedUpdateTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.IsRunning());
    ASSERT_EQ(release_.AddProgram(BuiltLauncher(), kLauncherName, "1.0.0.0"), "");
    ASSERT_EQ(release_.AddProgram(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.1"), "");
    ASSERT_TRUE(release_.AddFile("data/Map.SPF", Map(3)) && release_.AddFile("Big.SPF", Big(3)) &&
                release_.AddFile("Texture.SPF", Texture(3)));
    ASSERT_EQ(release_.PublishTo(server_.Root() + "/patch", kDescription), "");
  }

  void LayOutOldInstallation() {
    ASSERT_EQ(installation_.Install(BuiltLauncher(), kLauncherName, "1.0.0.0"), "");
    ASSERT_EQ(installation_.Install(BuiltClientStandin(), "SolaneClient.exe", "1.0.0.0"), "");
    old_client_ = installation_.Read("SolaneClient.exe").value_or("");
    ASSERT_TRUE(installation_.Write("data/Map.SPF", Map(2)) && installation_.Write("Big.SPF", Big(2)) &&
                installation_.Write("Texture.SPF", Texture(2)));
    ASSERT_TRUE(installation_.Write("SolaneLauncher.CFG", LauncherConfig(server_.Port())));
  }

  // Starts an update and kills it once `ready` holds (or after 30 s).
  void KillDuring(const std::function<bool()>& ready) {
    const int pid = installation_.Start({kLauncherName, "--console", "--autorun"}, installation_.Environment());
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 3000 && !ready(); ++i) platform::SleepMs(10);
    KillProgram(pid);
  }

  // Each installed file is one of the two versions, whole.
  void ExpectOldOrNew(const std::string& context) {
    const struct {
      std::string name, oldBytes, newBytes;
    } files[] = {{"data/Map.SPF", Map(2), Map(3)},
                 {"Big.SPF", Big(2), Big(3)},
                 {"Texture.SPF", Texture(2), Texture(3)},
                 {"SolaneClient.exe", old_client_, release_.Read("SolaneClient.exe").value_or("")}};
    for (const auto& file : files) {
      const std::string bytes = installation_.Read(file.name).value_or("(missing)");
      EXPECT_TRUE(bytes == file.oldBytes || bytes == file.newBytes) << file.name << " " << context;
    }
  }

  FixtureServer server_;
  PublishedRelease release_;
  InstalledLauncher installation_;
  std::string old_client_;
};

TEST_F(InterruptedUpdateTest, EveryFileIsOldOrNewAndTheNextRunFinishes) {
  ASSERT_NO_FATAL_FAILURE(LayOutOldInstallation());
  // Killed while the big pack is half downloaded: its bytes are kept beside Temp, and the next
  // run asks the server only for the rest.
  server_.SetBehaviour("patch/Big.SPF", {.bytesPerSecond = 1000000});
  KillDuring([&] {
    const auto part = installation_.Read("SolaneLauncher.partial/Big.SPF");
    return part && part->size() > 100000;
  });
  EXPECT_EQ(installation_.Read("Big.SPF"), Big(2));
  ExpectOldOrNew("during the download");
  const size_t kept = installation_.Read("SolaneLauncher.partial/Big.SPF").value_or("").size();
  ASSERT_GT(kept, 100000u);
  server_.Reset();
  const ProgramResult rerun = installation_.Run({"--console", "--autorun"});
  EXPECT_EQ(rerun.exitCode, 0) << rerun.output;
  EXPECT_EQ(installation_.Read("Big.SPF"), release_.Read("Big.SPF"));
  std::vector<std::string> bigRanges;
  for (const RecordedRequest& request : server_.Requests())
    if (request.method == "GET" && request.decodedPath == "/patch/Big.SPF") bigRanges.push_back(request.Header("Range"));
  EXPECT_EQ(bigRanges, std::vector<std::string>{"bytes=" + std::to_string(kept) + "-"});
  EXPECT_FALSE(installation_.Exists("SolaneLauncher.partial"));

  // Killed at moments spread over a whole run, copies into place included.
  server_.SetBehaviour("patch/Big.SPF", {});
  for (const int ms : {150, 400, 700, 1100}) {
    ASSERT_NO_FATAL_FAILURE(LayOutOldInstallation());
    const auto started = std::chrono::steady_clock::now();
    KillDuring([&] { return std::chrono::steady_clock::now() - started > std::chrono::milliseconds(ms); });
    ExpectOldOrNew("after " + std::to_string(ms) + " ms");
  }

  const ProgramResult finished = installation_.Run({"--console", "--autorun"});
  EXPECT_EQ(finished.exitCode, 0) << finished.output;
  for (const char* name : {"data/Map.SPF", "Big.SPF", "Texture.SPF", "SolaneClient.exe"})
    EXPECT_EQ(installation_.Read(name), release_.Read(name)) << name;
  EXPECT_FALSE(installation_.Exists("Temp"));
  EXPECT_FALSE(installation_.Exists("SolaneLauncher.partial"));
}

}  // namespace
