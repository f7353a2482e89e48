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

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

const std::string kOldData = PackBytes("old data", 5);
const std::string kNewData = PackBytes("new data", 6);

// One release as the publisher signs it; each case changes one thing of it.
struct Release {
  uint64_t serial = 100;
  std::string launcher;              // lines first in [SolaneLauncher]
  std::string dataDigest = Sha256Hex(kNewData);
  const SigningKey* signer = nullptr;
  bool signed_ = true;  // false: no Update.NFO.sig on the server
  std::function<void(std::string& info, std::string& signature)> damage;
};

class SignedUpdate : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.IsRunning());
    for (const char* folder : {"keys", "other"}) {
      const KeyPairResult pair = GenerateKeyPair(keys_.PathOf(folder));
      ASSERT_EQ(pair.error, "");
      std::string error;
      std::vector<std::string> warnings;
      signers_.push_back(*SigningKey::Load(pair.privateKeyPath, error, warnings));
    }
    publicKey_ = signers_[0].PublicKey().ToBase64();
    for (const auto& [name, version] : {std::pair{"SolaneLauncher", 0u}, {"SolaneClient.exe", 1u}}) {
      std::filesystem::copy_file(platform::ExecutablePath(), install_.Path(name));
      ASSERT_TRUE(StampFileVersion(install_.Path(name), 1u << 16, version));
    }
    server_.PutFile("patch/Data.SPF", kNewData);
  }

  void Serve(const Release& release) {
    std::string info = CrLf("[SolaneLauncher]\n" + release.launcher + "Serial=" + std::to_string(release.serial) +
                            "\nVersionMajorHigh=1\nVersionMajorLow=0\nVersionMinorHigh=0\nVersionMinorLow=0\n"
                            "FileName=SolaneLauncher\n[SolaneClient]\nVersionMajorHigh=1\nVersionMajorLow=0\n"
                            "VersionMinorHigh=0\nVersionMinorLow=1\n[Resource]\nResourceCount=1\n1_FileName=Data.SPF\n"
                            "1_Version=6\n1_SHA256=" + release.dataDigest + "\n[LoginServer]\nLoginServerCount=1\n1_IP=127.0.0.1\n");
    std::string signature = *(release.signer ? release.signer : &signers_[0])->SignatureText(info);
    if (release.damage) release.damage(info, signature);
    server_.PutFile("patch/Update.NFO", info);
    server_.PutFile("patch/Update.NFO.sig", signature);
    if (!release.signed_) std::filesystem::remove(server_.Root() + "/patch/Update.NFO.sig");
  }

  // A fresh engine runs the whole update on the old installation with `keyLine` in its
  // configuration.
  void RunUpdate(const std::string& keyLine) {
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
  void RunUpdate() { RunUpdate("PublisherKey=" + publicKey_ + "\r\n"); }

  std::vector<std::string> Fetched() const {
    std::vector<std::string> names;
    for (const RecordedRequest& request : server_.Requests())
      if (request.method == "GET") names.push_back(request.decodedPath.substr(std::string("/patch/").size()));
    return names;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes_->Shown()) texts.push_back(box.text);
    return texts;
  }
  std::string StoredSerial() const {
    return ReadRegistryText({platform::RegistryRoot::LocalMachine, kDefaultRegistryPath}, "ReleaseSerial");
  }

  FixtureServer server_;
  ScratchDir keys_;
  std::vector<SigningKey> signers_;
  std::string publicKey_;
  std::unique_ptr<RecordingWindow> window_;
  TestInstallation install_;  // after the window: the engine and its threads go first
  std::shared_ptr<platform::ScriptedMessageBox> boxes_;
};

TEST_F(SignedUpdate, OnlyTheSignedNewestReleaseIsInstalled) {
  // Without a key nothing changes: the signature is not even asked for.
  Serve(Release{});
  RunUpdate("");
  EXPECT_EQ(Fetched(), (std::vector<std::string>{"Update.NFO", "Data.SPF"}));
  EXPECT_EQ(install_.ReadFile("Data.SPF"), kNewData);

  RunUpdate();
  EXPECT_EQ(Fetched(), (std::vector<std::string>{"Update.NFO", "Update.NFO.sig", "Data.SPF"}));
  EXPECT_EQ(install_.ReadFile("Data.SPF"), kNewData);
  EXPECT_EQ(window_->LastStatusLine(), Message(117));
  const std::vector<std::string> lines = window_->StatusLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Update.NFO " + Message(175)), lines.end());
  EXPECT_EQ(StoredSerial(), "100");

  // Each refused information file is answered with 167 (and no retry, unattended): nothing
  // after it is fetched and the status line says why.
  auto flipOneByte = [](std::string& info, std::string&) { info[info.find("Version=6")] ^= 0x20; };
  const struct {
    const char* what;
    Release release;
    std::string keyLine;
    int reason;
  } refusals[] = {
      {"one byte changed", {.damage = flipOneByte}, "", 171},
      {"no signature", {.signed_ = false}, "", 170},
      {"garbled signature", {.damage = [](std::string&, std::string& signature) { signature = "not*a*signature\r\n"; }}, "", 170},
      {"another key", {.signer = &signers_[1]}, "", 171},
      {"an older release", {.serial = 99}, "", 172},
      {"no serial", {.launcher = "Serial=none\n"}, "", 172},
      {"an unreadable key", {}, "PublisherKey=abc\r\n", 174},
  };
  for (const auto& [what, release, keyLine, reason] : refusals) {
    Serve(release);
    keyLine.empty() ? RunUpdate() : RunUpdate(keyLine);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(167)}) << what;
    EXPECT_EQ(window_->LastStatusLine(), "Update.NFO " + Message(reason)) << what;
    EXPECT_EQ(install_.ReadFile("Data.SPF"), kOldData) << what;
    for (const std::string& name : Fetched()) EXPECT_TRUE(name.starts_with("Update.NFO")) << what << ": " << name;
  }
  EXPECT_EQ(StoredSerial(), "100");
}

// Signed but the file itself differs from its SHA-256, or has none: fetched, never installed,
// and a new launcher is never handed over.
TEST_F(SignedUpdate, AFileThatDoesNotMatchItsSha256IsNeverInstalledOrStarted) {
  server_.PutFile("patch/SolaneLauncher.new", "a launcher that is not the signed one");
  const struct {
    const char* what;
    Release release;
    std::string failure;
  } cases[] = {
      {"pack bytes differ", {.dataDigest = Sha256Hex(kOldData)}, "Data.SPF " + Message(168)},
      {"pack without digest", {.dataDigest = "No"}, "Data.SPF " + Message(173)},
      {"launcher bytes differ",
       {.launcher = "VersionMinorLow=7\nFileName=SolaneLauncher.new\nSHA256=" + Sha256Hex("the signed launcher") + "\n"},
       "SolaneLauncher.new " + Message(168)},
  };
  for (const auto& [what, release, failure] : cases) {
    Serve(release);
    RunUpdate();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Message(123) + "\n\n" + failure}) << what;
    EXPECT_EQ(install_.ReadFile("Data.SPF"), kOldData) << what;
    EXPECT_FALSE(PatchEngine::Instance().IsLauncherUpdatePending()) << what;
    EXPECT_FALSE(std::filesystem::exists(install_.Path("Temp"))) << what;
  }
}

}  // namespace
