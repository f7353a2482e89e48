// The download thread and its monitor, driven in-process against the fixture HTTP server: what
// lands in the temporary folder, what the server was asked, and what the player sees.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <iterator>
#include <string>
#include <thread>

#include "download/TransferError.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/download/PythonZip.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

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
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  int RequestCount(const std::string& method, const std::string& path) const {
    int count = 0;
    for (const RecordedRequest& request : server_.Requests())
      if (request.method == method && request.decodedPath == path) ++count;
    return count;
  }

  void PutArchive(const std::string& archiveName, const std::vector<PythonZipEntry>& entries) {
    ASSERT_EQ(WritePythonZip(server_.Root() + "/patch/" + archiveName, entries), "");
  }

  FixtureServer server_;
  RecordingWindow window_;
  std::shared_ptr<platform::ScriptedMessageBox> boxes_ = std::make_shared<platform::ScriptedMessageBox>();
  TestInstallation installation_;  // last: the engine and its threads go before the window
};

TEST_F(DownloadJobsTest, PlainJobLandsWholeAndFillsBothBars) {
  const std::string content = PatternBytes(300 * 1024 + 17, 1);
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
  server_.PutFile("patch/Second.dat", PatternBytes(4096, 2));
  ASSERT_TRUE(RunJob("Second.dat", false, 300 * 1024));
  EXPECT_EQ(window_.FileBar().pos, 4);
  EXPECT_EQ(window_.TotalBar().pos, 304);
  EXPECT_EQ(TempFile("Second.dat"), PatternBytes(4096, 2));
}

TEST_F(DownloadJobsTest, ZipJobIsUnpackedIntoTheTemporaryFolder) {
  const std::string packed = PatternBytes(200000, 3);
  const std::string text(50000, 'x');
  PutArchive("Client.zip", {{"Client.exe", packed, false}, {"Docs/readme.txt", text, true}});

  ASSERT_TRUE(RunJob("Client.exe", true));
  EXPECT_EQ(TempFile("Client.exe"), packed);
  EXPECT_EQ(TempFile("Docs/readme.txt"), text);
  EXPECT_EQ(RequestCount("GET", "/patch/Client.exe"), 0);
  EXPECT_TRUE(boxes_->Shown().empty());
}

// An archive that is an error page or that the server refuses: the plain file is fetched once,
// without further attempts at the archive.
TEST_F(DownloadJobsTest, UnusableArchiveFallsBackToThePlainFile) {
  const std::string page = "<html>" + std::string(2048 - 13, ' ') + "</html>";
  const std::string plain = PatternBytes(10 * 1024, 4);
  server_.PutFile("patch/Game.zip", page);
  server_.PutFile("patch/Game.dll", plain);
  for (const int status : {200, 404}) {
    SCOPED_TRACE(status);
    RestartEngine();
    server_.Reset();
    server_.SetBehaviour("patch/Game.zip", {.status = status});
    window_.SetTotalBarRange(0, 2);  // the archive's size, as the step sets it

    ASSERT_TRUE(RunJob("Game.dll", true, 0));
    EXPECT_EQ(TempFile("Game.dll"), plain);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Engine().TempDir()) / "Game.zip"));
    EXPECT_EQ(RequestCount("GET", "/patch/Game.zip"), 1);
    EXPECT_EQ(RequestCount("GET", "/patch/Game.dll"), 1);
    EXPECT_EQ(window_.LastStatusLine(), "Game.dll " + Text(115));
    EXPECT_TRUE(boxes_->Shown().empty());
    if (status == 200) EXPECT_EQ(window_.TotalBar().upper, 10);  // grown by the plain file's surplus
    EXPECT_EQ(window_.FileBar().pos, 10);
  }
}

// With neither a usable archive nor a plain file the job ends at once, without waiting for the
// monitor's stall detection.
TEST_F(DownloadJobsTest, MissingPlainFileAfterTheArchiveEndsTheJobAtOnce) {
  server_.PutFile("patch/Gone.zip", "<html>error page</html>");
  const auto started = std::chrono::steady_clock::now();
  RunJob("Gone.dll", true);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
  EXPECT_EQ(RequestCount("GET", "/patch/Gone.dll"), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Engine().TempDir()) / "Gone.dll"));
  Engine().WaitDownloadThread();
}

TEST_F(DownloadJobsTest, EmptyRemoteFileIsNotDownloaded) {
  server_.PutFile("patch/Empty.dat", "");

  EXPECT_FALSE(RunJob("Empty.dat", false));
  Engine().MonitorDownload("Empty.dat", -1);
  EXPECT_EQ(window_.LastStatusLine(), Text(129));
  EXPECT_EQ(RequestCount("GET", "/patch/Empty.dat"), 0);
  EXPECT_EQ(RequestCount("HEAD", "/patch/Empty.dat"), 1);
}

// The server announces 10000 bytes and then, once the size is known, serves another size.
TEST_F(DownloadJobsTest, BodyOfTheWrongSizeCancelsTheUpdate) {
  for (size_t servedSize : {size_t{9999}, size_t{10001}}) {
    SCOPED_TRACE(servedSize);
    const std::string name = "Changed" + std::to_string(servedSize) + ".dat";
    server_.PutFile("patch/" + name, PatternBytes(10000, 6));
    RestartEngine();
    Engine().SetZipFlag(false);
    ASSERT_TRUE(Engine().PrepareDownload(name, false, false));
    server_.PutFile("patch/" + name, PatternBytes(servedSize, 6));
    const size_t boxesBefore = boxes_->Shown().size();
    Engine().StartDownload(name);
    Engine().MonitorDownload(name, -1);

    EXPECT_TRUE(Engine().IsCancelled());
    ASSERT_EQ(boxes_->Shown().size(), boxesBefore + 1);
    EXPECT_EQ(boxes_->Shown().back().text, name + " " + Text(123) + "\n" + Text(129));
    EXPECT_EQ(RequestCount("GET", "/patch/" + name), 1);  // no further attempts
    Engine().WaitDownloadThread();
  }
}

TEST_F(DownloadJobsTest, RetriedTransferThatSucceedsLeavesNoError) {
  const std::string content = PatternBytes(64 * 1024, 7);
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
  server_.PutFile("patch/Broken.dat", PatternBytes(8000, 8));
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
  server_.PutFile("patch/Stall.dat", PatternBytes(100000, 9));
  server_.SetBehaviour("patch/Stall.dat", {.stallAfter = 5000});

  EXPECT_FALSE(RunJob("Stall.dat", false));
  ASSERT_EQ(boxes_->Shown().size(), 1u);
  EXPECT_EQ(boxes_->Shown()[0].text, Text(123) + "\n\nErrorCode : 12002\n" + Text(128));
  EXPECT_TRUE(Engine().IsCancelled());
  auto ended = std::async(std::launch::async, [this] { Engine().WaitDownloadThread(); });
  EXPECT_EQ(ended.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

TEST_F(DownloadJobsTest, SameNameAsksTheServerForItsSizeOnce) {
  server_.PutFile("patch/Twice.dat", PatternBytes(3000, 10));

  ASSERT_TRUE(RunJob("Twice.dat", false));
  ASSERT_TRUE(RunJob("Twice.dat", false));
  EXPECT_EQ(RequestCount("HEAD", "/patch/Twice.dat"), 1);
  EXPECT_EQ(RequestCount("GET", "/patch/Twice.dat"), 2);
  EXPECT_EQ(Engine().RemoteFileSize("Twice.dat"), 3000);
  EXPECT_EQ(RequestCount("HEAD", "/patch/Twice.dat"), 1);
}

TEST_F(DownloadJobsTest, CancelDuringTransferEndsTheJobAndTheThread) {
  server_.PutFile("patch/Slow.dat", PatternBytes(400000, 11));
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
