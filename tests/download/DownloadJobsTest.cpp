// The download thread and its monitor, driven in-process against the fixture HTTP server: what
// lands in the temporary folder, what the server was asked, and what the player sees.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "download/TransferError.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/RunProgram.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

std::string Pattern(size_t size, char seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
  return bytes;
}

std::string Text(int messageId) { return LoadCatalogueString(messageId); }

class DownloadJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.IsRunning());
    platform::SetMessageBoxProvider(boxes_);
    ConfigureEngine();
  }

  void ConfigureEngine() {
    std::filesystem::create_directories(Engine().TempDir());
    Engine().AttachWindow(&window_);
    CTransferSession& session = Engine().Session();
    session.SetHost(server_.Host());
    session.SetProtocol(CTransferSession::kProtocolHttp);
    session.SetServerPath("patch/");
  }

  // A cancelled engine and its ended download thread are never revived: a new case needs a new one.
  void RestartEngine() {
    PatchEngine::Destroy();
    Engine().SetLauncherExePathForTesting(installation_.Path("SolaneLauncher"));
    ConfigureEngine();
  }

  void TearDown() override { platform::SetMessageBoxProvider(nullptr); }

  PatchEngine& Engine() { return installation_.Engine(); }

  // One file the way the patch steps fetch it: prepare, submit, monitor. True when the session
  // reports no error and the update goes on.
  bool RunJob(const std::string& name, bool zip, int64_t baseBytes = -1) {
    Engine().SetZipFlag(zip);
    if (!Engine().PrepareDownload(name, false, false)) return false;
    Engine().StartDownload(name);
    Engine().MonitorDownload(name, baseBytes);
    return Engine().Session().GetErrorCode() == 0 && !Engine().IsCancelled();
  }

  std::string TempFile(const std::string& name) {
    std::ifstream in(std::filesystem::path(Engine().TempDir()) / name, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }
  bool TempFileExists(const std::string& name) {
    return std::filesystem::exists(std::filesystem::path(Engine().TempDir()) / name);
  }

  int RequestCount(const std::string& method, const std::string& path) const {
    int count = 0;
    for (const RecordedRequest& request : server_.Requests())
      if (request.method == method && request.decodedPath == path) ++count;
    return count;
  }

  // Makes a zip archive on the server from (name, bytes, deflated) entries.
  void PutArchive(const std::string& archiveName, const std::vector<std::tuple<std::string, std::string, bool>>& entries) {
    std::string script = "import zipfile, sys\nz = zipfile.ZipFile(sys.argv[1], 'w')\n";
    std::vector<std::string> argv = {"/usr/bin/python3", "-c", "", server_.Root() + "/patch/" + archiveName};
    int argument = 2;
    for (const auto& [entryName, bytes, deflated] : entries) {
      std::string source = installation_.Path("entry" + std::to_string(argument));
      installation_.WriteFile("entry" + std::to_string(argument), bytes);
      script += "z.write(sys.argv[" + std::to_string(argument) + "], sys.argv[" + std::to_string(argument + 1) +
                "], zipfile." + (deflated ? "ZIP_DEFLATED" : "ZIP_STORED") + ")\n";
      argv.push_back(source);
      argv.push_back(entryName);
      argument += 2;
    }
    script += "z.close()\n";
    argv[2] = script;
    std::filesystem::create_directories(server_.Root() + "/patch");
    ProgramResult made = RunProgram(argv);
    ASSERT_EQ(made.exitCode, 0) << made.output;
  }

  std::string WrongSizeBox(const std::string& name) { return name + " " + Text(123) + "\n" + Text(129); }

  // The server announces 10000 bytes and then, once the size is known, serves `servedSize`.
  void ExpectWrongSizeEnd(size_t servedSize) {
    const std::string name = "Changed" + std::to_string(servedSize) + ".dat";
    server_.PutFile("patch/" + name, Pattern(10000, 'f'));
    RestartEngine();
    Engine().SetZipFlag(false);
    ASSERT_TRUE(Engine().PrepareDownload(name, false, false));
    server_.PutFile("patch/" + name, Pattern(servedSize, 'f'));
    const size_t boxesBefore = boxes_->Shown().size();
    Engine().StartDownload(name);
    Engine().MonitorDownload(name, -1);

    EXPECT_TRUE(Engine().IsCancelled());
    ASSERT_EQ(boxes_->Shown().size(), boxesBefore + 1);
    EXPECT_EQ(boxes_->Shown().back().text, WrongSizeBox(name));
    EXPECT_EQ(RequestCount("GET", "/patch/" + name), 1);  // no further attempts
    Engine().WaitDownloadThread();
  }

  FixtureServer server_;
  RecordingWindow window_;
  std::shared_ptr<platform::ScriptedMessageBox> boxes_ = std::make_shared<platform::ScriptedMessageBox>();
  TestInstallation installation_;  // last: the engine and its threads go before the window
};

TEST_F(DownloadJobsTest, PlainJobLandsWholeAndFillsBothBars) {
  const std::string content = Pattern(300 * 1024 + 17, 'a');
  server_.PutFile("patch/Data/Pack.SPF", content);

  ASSERT_TRUE(RunJob("Data/Pack.SPF", false));
  EXPECT_EQ(TempFile("Data/Pack.SPF"), content);
  EXPECT_EQ(window_.FileBar().upper, 300);
  EXPECT_EQ(window_.FileBar().pos, 300);
  EXPECT_EQ(window_.TotalBar().upper, 300);
  EXPECT_EQ(window_.TotalBar().pos, 300);
  EXPECT_EQ(window_.LastStatusLine(), "Data/Pack.SPF " + Text(115));
  EXPECT_TRUE(boxes_->Shown().empty());

  // A second job continues the total bar from the bytes before it.
  server_.PutFile("patch/Second.dat", Pattern(4096, 'b'));
  ASSERT_TRUE(RunJob("Second.dat", false, 300 * 1024));
  EXPECT_EQ(window_.FileBar().pos, 4);
  EXPECT_EQ(window_.TotalBar().pos, 304);
  EXPECT_EQ(TempFile("Second.dat"), Pattern(4096, 'b'));
}

TEST_F(DownloadJobsTest, ZipJobIsUnpackedIntoTheTemporaryFolder) {
  const std::string packed = Pattern(200000, 'c');
  const std::string text(50000, 'x');
  PutArchive("Client.zip", {{"Client.exe", packed, false}, {"Docs/readme.txt", text, true}});

  ASSERT_TRUE(RunJob("Client.exe", true));
  EXPECT_EQ(TempFile("Client.exe"), packed);
  EXPECT_EQ(TempFile("Docs/readme.txt"), text);
  EXPECT_EQ(RequestCount("GET", "/patch/Client.exe"), 0);
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(DownloadJobsTest, ArchiveThatIsAnErrorPageFallsBackToThePlainFile) {
  const std::string page = "<html>" + std::string(2048 - 13, ' ') + "</html>";
  ASSERT_EQ(page.size(), 2048u);
  server_.PutFile("patch/Game.zip", page);
  const std::string plain = Pattern(10 * 1024, 'd');
  server_.PutFile("patch/Game.dll", plain);
  window_.SetTotalBarRange(0, 2);  // the archive's size, as the step sets it

  ASSERT_TRUE(RunJob("Game.dll", true, 0));
  EXPECT_EQ(TempFile("Game.dll"), plain);
  EXPECT_FALSE(TempFileExists("Game.zip"));
  EXPECT_EQ(window_.TotalBar().upper, 10);  // grown by the plain file's surplus
  EXPECT_EQ(window_.FileBar().pos, 10);
  EXPECT_EQ(window_.LastStatusLine(), "Game.dll " + Text(115));
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(DownloadJobsTest, MissingArchiveGoesStraightToThePlainFile) {
  server_.PutFile("patch/Game.zip", "unused");
  server_.SetBehaviour("patch/Game.zip", {.status = 404});
  const std::string plain = Pattern(5000, 'e');
  server_.PutFile("patch/Game.dll", plain);

  ASSERT_TRUE(RunJob("Game.dll", true));
  EXPECT_EQ(TempFile("Game.dll"), plain);
  EXPECT_EQ(RequestCount("GET", "/patch/Game.zip"), 1);
  EXPECT_EQ(RequestCount("GET", "/patch/Game.dll"), 1);
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(DownloadJobsTest, EmptyRemoteFileIsNotDownloaded) {
  server_.PutFile("patch/Empty.dat", "");

  EXPECT_FALSE(RunJob("Empty.dat", false));
  Engine().MonitorDownload("Empty.dat", -1);
  EXPECT_EQ(window_.LastStatusLine(), Text(129));
  EXPECT_EQ(RequestCount("GET", "/patch/Empty.dat"), 0);
  EXPECT_EQ(RequestCount("HEAD", "/patch/Empty.dat"), 1);
}

TEST_F(DownloadJobsTest, BodyOfTheWrongSizeCancelsTheUpdate) {
  for (size_t servedSize : {size_t{9999}, size_t{10001}}) {
    SCOPED_TRACE(servedSize);
    ExpectWrongSizeEnd(servedSize);
  }
}

TEST_F(DownloadJobsTest, RetriedTransferThatSucceedsLeavesNoError) {
  const std::string content = Pattern(64 * 1024, 'g');
  server_.PutFile("patch/Flaky.dat", content);
  server_.SetBehaviour("patch/Flaky.dat", {.closeAfter = 1000});
  std::thread mend([this] {
    for (int i = 0; i < 500 && RequestCount("GET", "/patch/Flaky.dat") == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    server_.SetBehaviour("patch/Flaky.dat", {});
  });

  const bool ok = RunJob("Flaky.dat", false);
  mend.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(Engine().Session().GetErrorCode(), 0);
  EXPECT_EQ(TempFile("Flaky.dat"), content);
  EXPECT_GE(RequestCount("GET", "/patch/Flaky.dat"), 2);
  EXPECT_TRUE(boxes_->Shown().empty());
}

TEST_F(DownloadJobsTest, FailedAttemptsAreReportedWithTheSessionsError) {
  server_.PutFile("patch/Broken.dat", Pattern(8000, 'h'));
  server_.SetBehaviour("patch/Broken.dat", {.closeAfter = 100});

  EXPECT_FALSE(RunJob("Broken.dat", false));
  Engine().WaitDownloadThread();  // the report ends with the window's exit procedure
  EXPECT_EQ(RequestCount("GET", "/patch/Broken.dat"), 10);
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  const int code = Engine().Session().GetErrorCode();
  EXPECT_NE(code, 0);
  EXPECT_EQ(boxes_->Shown()[0].text.rfind(Text(123) + "\n\nErrorCode : " + std::to_string(code), 0), 0u)
      << boxes_->Shown()[0].text;
  EXPECT_TRUE(Engine().IsCancelled());
  EXPECT_EQ(window_.ExitProcedures(), 1);
}

TEST_F(DownloadJobsTest, StalledTransferIsReportedAsServerNotReplying) {
  server_.PutFile("patch/Stall.dat", Pattern(100000, 'i'));
  server_.SetBehaviour("patch/Stall.dat", {.stallAfter = 5000});

  EXPECT_FALSE(RunJob("Stall.dat", false));
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, Text(123) + "\n\nErrorCode : 12002\n" + Text(128));
  EXPECT_TRUE(Engine().IsCancelled());
  auto ended = std::async(std::launch::async, [this] { Engine().WaitDownloadThread(); });
  EXPECT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST_F(DownloadJobsTest, SameNameAsksTheServerForItsSizeOnce) {
  server_.PutFile("patch/Twice.dat", Pattern(3000, 'j'));

  ASSERT_TRUE(RunJob("Twice.dat", false));
  ASSERT_TRUE(RunJob("Twice.dat", false));
  EXPECT_EQ(RequestCount("HEAD", "/patch/Twice.dat"), 1);
  EXPECT_EQ(RequestCount("GET", "/patch/Twice.dat"), 2);
  EXPECT_EQ(Engine().RemoteFileSize("Twice.dat"), 3000);
  EXPECT_EQ(RequestCount("HEAD", "/patch/Twice.dat"), 1);
}

TEST_F(DownloadJobsTest, CancelDuringTransferEndsTheJobAndTheThread) {
  server_.PutFile("patch/Slow.dat", Pattern(400000, 'k'));
  server_.SetBehaviour("patch/Slow.dat", {.bytesPerSecond = 40000});
  std::thread canceller([this] {
    for (int i = 0; i < 500 && Engine().Session().GetTransferred() == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Engine().SetCancel(true);
  });

  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunJob("Slow.dat", false));
  canceller.join();
  auto ended = std::async(std::launch::async, [this] { Engine().WaitDownloadThread(); });
  ASSERT_EQ(ended.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_TRUE(Engine().IsDownloadIdle());
  EXPECT_TRUE(boxes_->Shown().empty());
  EXPECT_EQ(RequestCount("GET", "/patch/Slow.dat"), 1);
}

}  // namespace
