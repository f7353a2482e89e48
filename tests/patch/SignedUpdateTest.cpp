// Updates with a publisher key: a signed release is installed; a file that is not exactly what
// the publisher signed, or that replays an older release, is refused and changes nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RegistrySettings.h"
#include "patch/FileVersion.h"
#include "patch/PatchEngine.h"
#include "platform/Path.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TestEngine.h"
#include "tools/publish/Signing.h"
#include "window/Catalogue.h"

namespace {

std::string Message(int id) { return LoadCatalogueString(id); }

const std::string kOldData = PackBytes("old data", 5);
const std::string kNewData = PackBytes("new data", 6);

// One release as the publisher signs it; each case changes one thing of it.
struct Release {
  uint64_t serial = 100;
  std::string launcher;  // lines first in [SolaneLauncher], so they win over the defaults after them
  std::string dataDigest = Sha256Hex(kNewData);
  int signer = 0;        // -1: no Update.NFO.sig on the server
  std::function<void(std::string& info, std::string& signature)> damage;
};

std::string InfoText(const Release& release) {
  return WithCrLf("[SolaneLauncher]\n" + release.launcher + "Serial=" + std::to_string(release.serial) +
                  "\nVersionMajorHigh=1\nVersionMajorLow=0\nVersionMinorHigh=0\nVersionMinorLow=0\n"
                  "FileName=SolaneLauncher\n[SolaneClient]\nVersionMajorHigh=1\nVersionMajorLow=0\n"
                  "VersionMinorHigh=0\nVersionMinorLow=1\n[Resource]\nResourceCount=1\n1_FileName=Data.SPF\n"
                  "1_Version=6\n1_SHA256=" + release.dataDigest + "\n[LoginServer]\nLoginServerCount=1\n1_IP=127.0.0.1\n");
}

class SignedUpdate : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.IsRunning());
    for (const char* folder : {"keys", "other"}) {
      std::string error;
      std::vector<std::string> warnings;
      signers_.push_back(*SigningKey::Load(GenerateKeyPair(keys_.PathOf(folder)).privateKeyPath, error, warnings));
    }
    for (const auto& [name, minorLow] : {std::pair{"SolaneLauncher", 0u}, {"SolaneClient.exe", 1u}}) {
      std::filesystem::copy_file(platform::ExecutablePath(), install_.Path(name));
      ASSERT_TRUE(StampFileVersion(install_.Path(name), 1u << 16, minorLow));
    }
    server_.PutFile("patch/Data.SPF", kNewData);
    server_.PutFile("patch/SolaneLauncher.new", "a launcher that is not the signed one");
  }

  // Serves `release` and runs a whole update with a fresh engine on the old installation.
  void RunUpdate(const Release& release, const std::string& keyLine) {
    std::string info = InfoText(release);
    std::string signature = *signers_[std::max(release.signer, 0)].SignatureText(info);
    if (release.damage) release.damage(info, signature);
    server_.PutFile("patch/Update.NFO", info);
    server_.PutFile("patch/Update.NFO.sig", signature);
    if (release.signer < 0) std::filesystem::remove(server_.Root() + "/patch/Update.NFO.sig");
    server_.Reset();
    install_.WriteFile("Data.SPF", kOldData);
    install_.WriteConfig("Url_7=" + server_.Host() + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n" + keyLine);

    PatchEngine::Destroy();
    window_ = std::make_unique<RecordingWindow>();
    boxes_ = std::make_shared<platform::ScriptedMessageBox>();
    platform::SetMessageBoxProvider(boxes_);
    PatchEngine& engine = PatchEngine::Instance();
    engine.SetLauncherExePathForTesting(install_.Path("SolaneLauncher"));
    engine.AttachWindow(window_.get());
    engine.StartUpdate();
    engine.WaitSequenceThread();
    engine.WaitDownloadThread();
    platform::SetMessageBoxProvider(nullptr);
  }

  FixtureServer server_;
  ScratchDir keys_;
  std::vector<SigningKey> signers_;
  std::unique_ptr<RecordingWindow> window_;
  TestInstallation install_;  // after the window: the engine and its threads go first
  std::shared_ptr<platform::ScriptedMessageBox> boxes_;
};

// A refused Update.NFO is answered with 167 (unattended: no retry), nothing after it is fetched
// and the status line says why. A file off its SHA-256 is fetched but never installed, and a new
// launcher never handed over.
TEST_F(SignedUpdate, OnlyWhatThePublisherSignedIsInstalled) {
  const std::string key = "PublisherKey=" + signers_[0].PublicKey().ToBase64() + "\r\n";
  const std::vector<std::string> refused{Message(167)};
  auto failed = [](const std::string& reason) { return std::vector<std::string>{Message(123) + "\n\n" + reason}; };
  const struct {
    const char* what;
    Release release;
    std::string keyLine;
    std::vector<std::string> boxes;
    int reason;  // the refused file's status line
  } cases[] = {
      {"no key: as before", {}, "", {}, 0},
      {"signed", {}, key, {}, 0},
      {"one byte changed", {.damage = [](std::string& info, std::string&) { info[info.find("Version=6")] ^= 0x20; }}, key, refused, 171},
      {"no signature", {.signer = -1}, key, refused, 170},
      {"garbled signature", {.damage = [](std::string&, std::string& signature) { signature = "not*a*signature\r\n"; }}, key, refused, 170},
      {"another key", {.signer = 1}, key, refused, 171},
      {"an older release", {.serial = 99}, key, refused, 172},
      {"no serial", {.launcher = "Serial=none\n"}, key, refused, 172},
      {"an unreadable key", {}, "PublisherKey=abc\r\n", refused, 174},
      {"pack bytes differ", {.dataDigest = Sha256Hex(kOldData)}, key, failed("Data.SPF " + Message(168)), 0},
      {"pack without digest", {.dataDigest = "No"}, key, failed("Data.SPF " + Message(173)), 0},
      {"launcher bytes differ",
       {.launcher = "VersionMinorLow=7\nFileName=SolaneLauncher.new\nSHA256=" + Sha256Hex("the signed launcher") + "\n"},
       key, failed("SolaneLauncher.new " + Message(168)), 0},
  };
  for (const auto& [what, release, keyLine, boxes, reason] : cases) {
    RunUpdate(release, keyLine);
    std::vector<std::string> shown;
    for (const auto& box : boxes_->Shown()) shown.push_back(box.text);
    EXPECT_EQ(shown, boxes) << what;
    EXPECT_EQ(install_.ReadFile("Data.SPF"), boxes.empty() ? kNewData : kOldData) << what;
    EXPECT_FALSE(PatchEngine::Instance().IsLauncherUpdatePending()) << what;
    EXPECT_FALSE(std::filesystem::exists(install_.Path("Temp"))) << what;
    const std::vector<std::string> fetched = server_.Fetched("/patch/");
    if (keyLine.empty()) EXPECT_EQ(fetched, (std::vector<std::string>{"Update.NFO", "Data.SPF"}));
    if (boxes.empty() && !keyLine.empty()) {
      EXPECT_EQ(fetched, (std::vector<std::string>{"Update.NFO", "Update.NFO.sig", "Data.SPF"}));
      const std::vector<std::string> lines = window_->StatusLines();
      EXPECT_NE(std::find(lines.begin(), lines.end(), "Update.NFO " + Message(175)), lines.end());
    }
    if (reason == 0) continue;
    EXPECT_EQ(window_->LastStatusLine(), "Update.NFO " + Message(reason)) << what;
    for (const std::string& name : fetched) EXPECT_TRUE(name.starts_with("Update.NFO")) << what << ": " << name;
  }
  EXPECT_EQ(ReadRegistryText({platform::RegistryRoot::LocalMachine, kDefaultRegistryPath}, "ReleaseSerial"), "100");
}

}  // namespace
