// The download thread and its monitor, driven in-process against the fixture HTTP server: what
// lands in the temporary folder, what the server was asked, and what the player sees.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "patch/ReleaseSignature.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/download/PythonZip.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/Requirement.h"
#include "tests/support/ScratchDir.h"
#ifndef _WIN32
#include "tests/support/SmallFileSystem.h"
#endif
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

std::string Text(int messageId) { return LoadCatalogueString(messageId); }

class DownloadJobsTest : public ::testing::Test {
 protected:
  void SetUp() override {
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
  // reports no error and the update goes on (a reported error cancels it).
  bool RunJob(const std::string& name, bool zip, int64_t baseBytes = -1) {
    Engine().SetZipFlag(zip);
    if (!Engine().PrepareDownload(name, false, false)) return false;
    Engine().StartDownload(name);
    Engine().MonitorDownload(name, baseBytes);
    return Engine().Session().GetErrorCode() == 0 && !Engine().IsCancelled() && Engine().LastJobSucceeded();
  }

  std::string TempFile(const std::string& name) { return installation_.ReadFile("Temp/" + name); }

  // The requests for patch/`name` with `method`, in order.
  std::vector<RecordedRequest> Gets(const std::string& name, const std::string& method = "GET") const {
    std::vector<RecordedRequest> gets;
    for (const RecordedRequest& request : server_.Requests())
      if (request.method == method && request.decodedPath == "/patch/" + name) gets.push_back(request);
    return gets;
  }
  // Runs `action` once the server has been asked for patch/`name`.
  std::thread AfterFirstGet(const std::string& name, std::function<void()> action) {
    return std::thread([this, name, action = std::move(action)] {
      for (int i = 0; i < 500 && Gets(name).empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      action();
    });
  }

  // File bar and total bar as "pos/upper pos/upper".
  std::string Bars() const {
    const auto file = window_.FileBar(), total = window_.TotalBar();
    return std::to_string(file.pos) + "/" + std::to_string(file.upper) + " " + std::to_string(total.pos) + "/" + std::to_string(total.upper);
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
  EXPECT_EQ(Bars(), "300/300 300/300");
  EXPECT_EQ(window_.LastStatusLine(), "Data/Pack.SPF " + Text(115));

  // A second job continues the total bar from the bytes before it. A size is asked only once.
  server_.PutFile("patch/Second.dat", PatternBytes(4096, 2));
  ASSERT_TRUE(RunJob("Second.dat", false, 300 * 1024));
  EXPECT_EQ(Bars(), "4/4 304/300");
  ASSERT_TRUE(RunJob("Second.dat", false));
  EXPECT_EQ(Gets("Second.dat", "HEAD").size(), 1u);
  EXPECT_EQ(Gets("Second.dat").size(), 2u);
}

// Unpacking as slow as a big archive on a slow disk takes longer than the stall period, but no
// byte is expected from the network meanwhile: it is no stall. Only the file the archive was
// fetched for comes out of it.
TEST_F(DownloadJobsTest, ZipJobUnpacksItsFileIntoTheTemporaryFolder) {
  const std::string packed = PatternBytes(200000, 3), text(50000, 'x');
  ASSERT_EQ(WritePythonZip(server_.Root() + "/patch/Client.zip", {{"Client.exe", packed}, {"Docs/readme.txt", text, true}}), "");
  Engine().SetBeforeUnpackForTesting([] { platform::SleepMs(12500); });
  ASSERT_TRUE(RunJob("Client.exe", true));
  EXPECT_TRUE(boxes_->Shown().empty());
  EXPECT_EQ(TempFile("Client.exe"), packed);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Engine().TempDir()) / "Docs"));
  EXPECT_EQ(Gets("Client.exe").size(), 0u);
}

// An archive that is an error page or that the server refuses: the plain file is fetched once,
// without further attempts at the archive.
TEST_F(DownloadJobsTest, UnusableArchivesFallBackToThePlainFile) {
  server_.PutFile("patch/Game.zip", "<html>" + std::string(2048 - 13, ' ') + "</html>");
  server_.PutFile("patch/Game.dll", PatternBytes(10 * 1024, 4));
  for (const int status : {200, 404}) {
    RestartEngine();
    server_.Reset();
    server_.SetBehaviour("patch/Game.zip", {.status = status});
    window_.SetTotalBarRange(0, 2);  // the archive's size, as the step sets it
    ASSERT_TRUE(RunJob("Game.dll", true, 0));
    EXPECT_EQ(TempFile("Game.dll"), PatternBytes(10 * 1024, 4));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(Engine().TempDir()) / "Game.zip"));
    EXPECT_EQ(Gets("Game.zip").size() + Gets("Game.dll").size(), 2u) << status;
    // The total bar grows by the plain file's surplus over the archive.
    if (status == 200) {
      EXPECT_EQ(Bars(), "10/10 10/10");
    }
  }

  // An archive without the file it was fetched for is no better than a broken one. A zip-flagged
  // name without "." has no archive name: it is fetched itself, and the temporary folder stays.
  // With neither a usable archive nor a plain file the job ends at once, before stall detection.
  server_.PutFile("patch/Other.dll", PatternBytes(5000, 5));
  ASSERT_EQ(WritePythonZip(server_.Root() + "/patch/Other.zip", {{"Unrelated.txt", "x"}}), "");
  ASSERT_TRUE(RunJob("Other.dll", true));
  EXPECT_EQ(TempFile("Other.dll"), PatternBytes(5000, 5));

  installation_.WriteFile("Temp/Keep.txt", "kept");
  server_.PutFile("patch/NoDot", "plain");
  ASSERT_TRUE(RunJob("NoDot", true));
  EXPECT_EQ(TempFile("NoDot") + " " + TempFile("Keep.txt"), "plain kept");

  server_.PutFile("patch/Gone.zip", "<html>error page</html>");
  const auto started = std::chrono::steady_clock::now();
  RunJob("Gone.dll", true);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
  EXPECT_EQ(Gets("Gone.dll").size(), 0u);
}

// The server announces 10000 bytes and then, once the size is known, serves another size.
TEST_F(DownloadJobsTest, BodyOfTheWrongSizeCancelsTheUpdate) {
  for (size_t servedSize : {size_t{9999}, size_t{10001}}) {
    const std::string name = "Changed" + std::to_string(servedSize) + ".dat";
    server_.PutFile("patch/" + name, PatternBytes(10000, 6));
    RestartEngine();
    Engine().SetZipFlag(false);
    ASSERT_TRUE(Engine().PrepareDownload(name, false, false));
    server_.PutFile("patch/" + name, PatternBytes(servedSize, 6));
    Engine().StartDownload(name);
    Engine().MonitorDownload(name, -1);
    EXPECT_TRUE(Engine().IsCancelled());
    EXPECT_EQ(boxes_->Shown().back().text, name + " " + Text(123) + "\n" + Text(129));
    EXPECT_EQ(Gets(name).size(), 1u);  // no further attempts
    Engine().WaitDownloadThread();
  }
}

// Up to ten attempts: one that succeeds leaves no error. When all fail, or the server stops
// sending, the box shows the session's error number; a failed job runs the window's exit procedure.
TEST_F(DownloadJobsTest, AttemptsAreRepeatedAndTheirFailureReported) {
  server_.PutFile("patch/Flaky.dat", PatternBytes(64 * 1024, 7));
  server_.SetBehaviour("patch/Flaky.dat", {.closeAfter = 1000});
  std::thread mend = AfterFirstGet("Flaky.dat", [this] { server_.SetBehaviour("patch/Flaky.dat", {}); });
  const bool ok = RunJob("Flaky.dat", false);
  mend.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(TempFile("Flaky.dat"), PatternBytes(64 * 1024, 7));

  server_.PutFile("patch/Broken.dat", PatternBytes(8000, 8));
  server_.SetBehaviour("patch/Broken.dat", {.closeAfter = 100});
  EXPECT_FALSE(RunJob("Broken.dat", false));
  Engine().WaitDownloadThread();  // the report ends with the window's exit procedure
  EXPECT_EQ(Gets("Broken.dat").size(), 10u);
  EXPECT_TRUE(Engine().IsCancelled());
  EXPECT_EQ(window_.ExitProcedures(), 1);

  RestartEngine();
  server_.PutFile("patch/Stall.dat", PatternBytes(100000, 9));
  server_.SetBehaviour("patch/Stall.dat", {.stallAfter = 5000});
  EXPECT_FALSE(RunJob("Stall.dat", false));
  EXPECT_TRUE(Engine().IsCancelled());
  Engine().WaitDownloadThread();
  ASSERT_EQ(boxes_->Shown().size(), 2u);
  EXPECT_EQ(boxes_->Shown()[0].text, Text(123) + "\n\nErrorCode : 12030\nThe connection with the server was terminated "
                                                 "abnormally. (" + server_.Host() + ")");
  EXPECT_EQ(boxes_->Shown()[1].text, Text(123) + "\n\nErrorCode : 12002\n" + Text(128) + " (" + server_.Host() + ")");
}

// A size is kept only when the server gave it. Servers that refuse HEAD or leave out its length
// are asked with a GET that stops at the headers.
TEST_F(DownloadJobsTest, SizesAreKeptOnlyWhenKnown) {
  for (const auto& [name, behaviour] : {std::pair{"Refused.dat", FileBehaviour{.headStatus = 405}},
                                        std::pair{"Lengthless.dat", FileBehaviour{.headOmitsLength = true}}}) {
    server_.PutFile(std::string("patch/") + name, PatternBytes(3001, 11));
    server_.SetBehaviour(std::string("patch/") + name, behaviour);
    EXPECT_TRUE(RunJob(name, false)) << name;
    EXPECT_EQ(TempFile(name), PatternBytes(3001, 11)) << name;
  }
  server_.PutFile("patch/Later.dat", PatternBytes(3003, 13));
  server_.SetBehaviour("patch/Later.dat", {.headStatus = 503});
  EXPECT_EQ(Engine().RemoteFileSize("Later.dat"), 0);
  server_.SetBehaviour("patch/Later.dat", {});
  EXPECT_EQ(Engine().RemoteFileSize("Later.dat"), 3003);

  // A server that takes the question and never answers is given up by the download's stall rule,
  // and not waited for again in the run (an archive's size, then its file's).
  for (const char* name : {"patch/Silent.zip", "patch/Silent.dat"}) server_.SetBehaviour(name, {.silent = true});
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(RunJob("Silent.dat", true));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(40));
  EXPECT_EQ(Gets("Silent.zip", "HEAD").size() + Gets("Silent.dat", "HEAD").size(), 1u);
  ASSERT_FALSE(boxes_->Shown().empty());
  EXPECT_EQ(boxes_->Shown().back().text, Text(123) + "\n\nErrorCode : 12002\n" + Text(128) + " (" + server_.Host() + ")");
}

// A transfer cut at 60% keeps its bytes, and the next attempt asks only for the rest under
// If-Range; a server that ignores the range or whose file changed meanwhile sends the whole
// file, which is written from its start. A range that is not exactly the rest of a file of the
// announced size is not spliced on: the file is fetched once more from its start.
TEST_F(DownloadJobsTest, ACutTransferIsContinuedWhereItStopped) {
  const std::string first = PatternBytes(100000, 15), changed = PatternBytes(100000, 16);
  enum class Server { Ranges, IgnoresRange, ChangesTheFile, MisstatesTheTotal };
  for (const Server how : {Server::Ranges, Server::IgnoresRange, Server::ChangesTheFile, Server::MisstatesTheTotal}) {
    const std::string name = "Cut" + std::to_string(static_cast<int>(how)) + ".dat";
    server_.PutFile("patch/" + name, first);
    server_.SetBehaviour("patch/" + name, {.closeAfter = 60000, .ignoreRange = how == Server::IgnoresRange, .times = 1});
    Engine().SetDownloadAnnouncement("", Md5Of(how == Server::ChangesTheFile ? changed : first));
    std::thread change = AfterFirstGet(name, [&] {
      if (how == Server::ChangesTheFile) server_.PutFile("patch/" + name, changed);
      if (how == Server::MisstatesTheTotal) server_.SetBehaviour("patch/" + name, {.rangeTotal = 120000});
    });
    const bool ok = RunJob(name, false);
    change.join();
    ASSERT_TRUE(ok) << name;
    EXPECT_EQ(TempFile(name), how == Server::ChangesTheFile ? changed : first) << name;
    const auto gets = Gets(name);
    ASSERT_EQ(gets.size(), how == Server::MisstatesTheTotal ? 3u : 2u) << name;
    EXPECT_EQ(gets[0].Header("Range"), "") << name;
    EXPECT_EQ(gets[1].Header("Range"), "bytes=60000-") << name;
    EXPECT_NE(gets[1].Header("If-Range"), "") << name;
    EXPECT_EQ(gets.back().Header("Range"), how == Server::MisstatesTheTotal ? "" : "bytes=60000-") << name;
    EXPECT_FALSE(std::filesystem::exists(Engine().PartialDir() + "/" + name)) << name;
  }
}

// Kept bytes of another announced version are never continued; continued bytes that end in a
// file missing its digest (a server that changed the file under the same entity tag) are
// fetched once more from the start, checked by the MD5, or by the SHA-256 in a signed release.
// A file without the digest that would check it is never continued.
TEST_F(DownloadJobsTest, KeptBytesOfAnotherVersionOrAWrongDigestStartAgain) {
  const std::string older = PatternBytes(100000, 17), newer = PatternBytes(100000, 18);
  server_.PutFile("patch/Versioned.dat", older);
  server_.SetBehaviour("patch/Versioned.dat", {.stallAfter = 60000});
  Engine().SetDownloadAnnouncement("Resource 1", Md5Of(older));
  std::thread cancel = AfterFirstGet("Versioned.dat", [&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Engine().SetCancel(true);
  });
  EXPECT_FALSE(RunJob("Versioned.dat", false));
  cancel.join();
  Engine().WaitDownloadThread();  // the cancelled transfer closes its file
  EXPECT_EQ(std::filesystem::file_size(Engine().PartialDir() + "/Versioned.dat"), 60000u);
  RestartEngine();
  server_.PutFile("patch/Versioned.dat", newer);
  server_.SetBehaviour("patch/Versioned.dat", {});
  Engine().SetDownloadAnnouncement("Resource 2", Md5Of(newer));
  ASSERT_TRUE(RunJob("Versioned.dat", false));
  EXPECT_EQ(TempFile("Versioned.dat"), newer);
  EXPECT_EQ(Gets("Versioned.dat").back().Header("Range"), "");

  server_.PutFile("patch/Unchecked.dat", older);
  server_.SetBehaviour("patch/Unchecked.dat", {.closeAfter = 60000, .times = 1});
  Engine().SetDownloadAnnouncement("Resource 3", "No");
  ASSERT_TRUE(RunJob("Unchecked.dat", false));
  EXPECT_EQ(TempFile("Unchecked.dat"), older);
  ASSERT_EQ(Gets("Unchecked.dat").size(), 2u);
  EXPECT_EQ(Gets("Unchecked.dat")[1].Header("Range"), "");

  for (const bool signedRelease : {false, true}) {
    const std::string name = signedRelease ? "SignedSwap.dat" : "Swapped.dat";
    server_.PutFile("patch/" + name, older);
    server_.SetBehaviour("patch/" + name, {.closeAfter = 60000, .etag = "\"same\""});
    std::thread swap = AfterFirstGet(name, [&] {
      server_.PutFile("patch/" + name, newer);
      server_.SetBehaviour("patch/" + name, {.etag = "\"same\""});
    });
    Engine().SetSigningRequiredForTesting(signedRelease);
    if (signedRelease) Engine().SetDownloadAnnouncement("Resource 2", "No", Sha256Hex(newer));
    else Engine().SetDownloadAnnouncement("Resource 2", Md5Of(newer));
    const bool ok = RunJob(name, false);
    swap.join();
    ASSERT_TRUE(ok) << name;
    EXPECT_EQ(TempFile(name), newer) << name;
    const auto gets = Gets(name);
    ASSERT_EQ(gets.size(), 3u) << name;
    EXPECT_EQ(gets[1].Header("Range"), "bytes=60000-") << name;
    EXPECT_EQ(gets[2].Header("Range"), "") << name;
  }
}

#ifndef _WIN32  // the small file systems are mounted inside the installation: Linux only
// A local file that cannot be written fails the job with its reason and cancels the update, at
// the first attempt; nothing reports the download as complete.
TEST_F(DownloadJobsTest, AFullDiskOrAReadOnlyFolderFailsTheJobWithItsReason) {
  {
    SmallFileSystem small(Engine().PartialDir(), 64 * 1024);
    SOLANE_REQUIRE(small.Mounted(), "mounting a small file system needs root");
    platform::SetFreeDiskSpaceForTesting([](const std::string&) { return std::optional<uint64_t>(uint64_t{1} << 30); });
    server_.PutFile("patch/Big.dat", PatternBytes(1 << 20, 14));
    Engine().SetDownloadAnnouncement("", Md5Of(PatternBytes(1 << 20, 14)));
    EXPECT_FALSE(RunJob("Big.dat", false));
    Engine().WaitDownloadThread();
    platform::SetFreeDiskSpaceForTesting({});
    ASSERT_EQ(boxes_->Shown().size(), 1u);
    EXPECT_EQ(boxes_->Shown()[0].text, Text(123) + "\n\nErrorCode : -7\nThe downloaded file could not be written. " +
                                           Engine().PartialDir() + "/Big.dat: No space left on device.");
    EXPECT_EQ(Gets("Big.dat").size(), 1u);
    for (const std::string& line : window_.StatusLines()) EXPECT_NE(line, "Big.dat " + Text(115));
  }
  // A game folder nothing can be written to: the folder that cannot be made is named with the
  // system's reason, not the missing folder that a later call would find.
  RestartEngine();
  SmallFileSystem readOnly(Engine().TempDir(), 64 * 1024, MS_RDONLY);
  ASSERT_TRUE(readOnly.Mounted());
  server_.PutFile("patch/Data/Small.dat", "data");
  EXPECT_FALSE(RunJob("Data/Small.dat", false));
  Engine().WaitDownloadThread();
  EXPECT_EQ(boxes_->Shown().back().text,
            Text(123) + "\n\nErrorCode : 5\n" + Engine().TempDir() + "/Data: Read-only file system.");
}
#endif

}  // namespace
