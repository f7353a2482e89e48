#include "download/TransferSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

#include "download/TransferError.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/FtpServer.h"
#include "tests/support/Requirement.h"
#include "tests/support/ScratchDir.h"

namespace {

using namespace transfer_error;
using Clock = std::chrono::steady_clock;

class TransferSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.IsRunning());
    session.Reset();
    session.SetHost(server.Host());
    session.SetProtocol(CTransferSession::kProtocolHttp);
    session.SetAgent("Solane Launcher");
  }

  // Downloads `remote` in File mode into the scratch folder and returns the stored bytes.
  std::optional<std::string> FetchFile(const std::string& remote, bool* ok = nullptr) {
    session.SetStorageMode(CTransferSession::kStorageFile);
    const bool result = session.Download(remote, local.PathOf("out.bin"));
    if (ok != nullptr) *ok = result;
    return local.Read("out.bin");
  }

  std::optional<std::string> FetchText(const std::string& remote) {
    session.SetStorageMode(CTransferSession::kStorageMemory);
    if (!session.Download(remote, "")) return std::nullopt;
    return session.GetText();
  }

  // Runs `action` on another thread once the first bytes have arrived.
  std::thread OnceBytesArrive(std::function<void()> action) {
    return std::thread([this, action] {
      while (session.GetTransferred() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      action();
    });
  }

  FixtureServer server;
  ScratchDir local;
  CTransferSession session;
};

TEST_F(TransferSessionTest, DeliversExactlyTheServedBytesToFileAndMemory) {
  for (const std::string& bytes : {std::string("[SolaneLauncher]\r\nVersion=3\r\n"), std::string(), PatternBytes(3 * 1024 * 1024 + 17)}) {
    server.PutFile("patch/file", bytes);
    bool ok = false;
    EXPECT_EQ(FetchFile("patch/file", &ok), bytes);
    EXPECT_TRUE(ok);
    EXPECT_EQ(session.GetTransferred(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(FetchText("patch/file"), bytes);
  }
}

// Names from update files use "\"; blanks, "#", "?" and non-ASCII letters reach the server
// intact, with the agent and no-cache headers. The host forms are the address tests'. (The server
// holds no such file: a Windows file name cannot have a "?". Its log tells what was asked.)
TEST_F(TransferSessionTest, RequestReachesTheServerAsMeant) {
  session.SetHost("http://127.0.0.1:" + std::to_string(server.Port()) + "/");
  EXPECT_EQ(FetchFile("patch\\sub dir\\a b#c?d=\xC3\x9C" "ber.SPF"), std::nullopt);
  EXPECT_EQ(session.GetErrorCode(), 404);
  ASSERT_EQ(server.Requests().size(), 1u);
  const RecordedRequest request = server.Requests()[0];
  EXPECT_EQ(request.decodedPath, "/patch/sub dir/a b#c?d=\xC3\x9C" "ber.SPF");
  EXPECT_EQ(request.Header("User-Agent"), "Solane Launcher");
  EXPECT_EQ(request.Header("Pragma") + " " + request.Header("Cache-Control"), "no-cache no-cache");
}

// A refused answer, an unreachable server or a bad address fails with its number and stores nothing.
TEST_F(TransferSessionTest, FailuresGiveTheKnownErrorNumbersAndStoreNothing) {
  server.PutFile("file.bin", PatternBytes(50000));
  const std::tuple<std::string, int, int> vectors[] = {  // host, status served, error number
      {server.Host(), 404, 404}, {server.Host(), 204, 204},
      {"127.0.0.1:" + std::to_string(UnusedLoopbackPort()), 200, kCannotConnect},
      {"gopher://127.0.0.1:" + std::to_string(server.Port()), 200, kUnknownScheme},
      {"http://127.0.0.1:99999", 200, kInvalidUrl}};
  for (const auto& [host, status, expected] : vectors) {
    session.SetHost(host);
    server.SetBehaviour("file.bin", {.status = status});
    bool ok = true;
    EXPECT_EQ(FetchFile("file.bin", &ok), std::nullopt) << host << " " << status;
    EXPECT_FALSE(ok);
    EXPECT_EQ(session.GetErrorCode(), expected) << host << " " << status;
    // The player is told which server failed.
    if (expected == kCannotConnect) {
      EXPECT_NE(TransferFailureText(session.GetFailure()).find("(" + host + ")"), std::string::npos);
    }
    EXPECT_EQ(FetchText("file.bin"), std::nullopt) << host << " " << status;
    EXPECT_EQ(session.GetText(), "");
  }
  // A connection that ends early keeps what arrived and fails.
  session.SetHost(server.Host());
  server.SetBehaviour("file.bin", {.closeAfter = 20000});
  bool ok = true;
  EXPECT_EQ(FetchFile("file.bin", &ok).value_or("").size(), 20000u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(session.GetErrorCode(), kConnectionAborted);
}

// A body in memory may be longer or shorter than announced; one without end stops at the memory
// cap instead of exhausting memory, or in a file at the size the caller expects.
TEST_F(TransferSessionTest, BodiesStopAtTheMemoryCapOrTheExpectedSize) {
  const std::string bytes = PatternBytes(50000);
  server.PutFile("nfo", bytes);
  server.SetBehaviour("nfo", {.contentLength = 100});
  EXPECT_EQ(FetchText("nfo"), bytes.substr(0, 100));
  server.SetBehaviour("nfo", {.omitLength = true});
  EXPECT_EQ(FetchText("nfo"), bytes);

  server.SetBehaviour("nfo", {.endless = true});
  EXPECT_EQ(FetchText("nfo"), std::nullopt);
  EXPECT_EQ(session.GetErrorCode(), kInvalidServerResponse);
  EXPECT_LE(session.GetTransferred(), CTransferSession::kMaxMemoryBody + 10240);
  session.SetExpectedSize(20000);
  bool ok = true;
  EXPECT_EQ(FetchFile("nfo", &ok), bytes.substr(0, 20000));
  EXPECT_FALSE(ok);
  EXPECT_EQ(session.GetErrorCode(), kInvalidServerResponse);
  EXPECT_GT(session.GetTransferred(), 20000);  // the caller sees a wrong size
}

// The library hands over large blocks on a fast link, yet the limit and the cancel test act on
// every piece of at most 10240 bytes: a cancel during the limit's first wait keeps one piece.
TEST_F(TransferSessionTest, TheRateLimitAndACancelActOnPiecesOfAtMost10240Bytes) {
  const std::string bytes = PatternBytes(600000);
  server.PutFile("limited.bin", bytes.substr(0, 200000));
  session.SetRateLimit(100.0);  // bytes per millisecond: the whole file is worth two seconds
  auto start = Clock::now();
  EXPECT_EQ(FetchFile("limited.bin"), bytes.substr(0, 200000));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1900));

  server.PutFile("burst.bin", bytes);
  SetUp();  // the canceller must not see the first transfer's byte count
  session.SetRateLimit(10.0);  // the first piece alone is worth a second
  std::thread canceller = OnceBytesArrive([this] { session.SetCancel(true); });
  start = Clock::now();
  bool ok = false;
  const auto stored = FetchFile("burst.bin", &ok);
  canceller.join();
  EXPECT_TRUE(ok);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
  // The first block the library hands over may itself be smaller than a piece.
  const size_t size = stored.value_or("").size();
  EXPECT_TRUE(size > 0 && size <= 10240) << size;
  EXPECT_EQ(session.GetTransferred(), static_cast<int64_t>(size));
  EXPECT_EQ(stored, bytes.substr(0, size));
}

// The file is written in large blocks, the last one when it is closed: a disk that fills up
// must fail the transfer whether the fault comes at a block or only at the close. The full disk
// is Linux's /dev/full, or on Windows the small drive ctest mounts, filled up first.
TEST_F(TransferSessionTest, AFullDiskFailsTheTransfer) {
  const char* drive = std::getenv("SOLANE_SMALL_DRIVE");
  SOLANE_REQUIRE(drive != nullptr || std::filesystem::exists("/dev/full"), "no full device or drive here");
  const std::string root = drive != nullptr ? std::string(drive) + "/" : std::string();
  if (drive != nullptr) {
    // Unbuffered, so that every byte the drive still takes is written; then a new file gets none.
    std::FILE* filler = std::fopen((root + "filler").c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    std::setvbuf(filler, nullptr, _IONBF, 0);
    const std::string chunk(4096, 'x');
    while (std::fwrite(chunk.data(), 1, chunk.size(), filler) == chunk.size()) {
    }
    while (std::fwrite("x", 1, 1, filler) == 1) {
    }
    std::fclose(filler);
  }
  for (const size_t size : {size_t{1000}, size_t{3 * 1024 * 1024}}) {
    server.PutFile("pack.bin", PatternBytes(size));
    EXPECT_FALSE(session.Download("pack.bin", drive != nullptr ? root + "pack.bin" : "/dev/full"));
    EXPECT_EQ(session.GetErrorCode(), kLocalFileWriteFailed) << size;
  }
  if (drive != nullptr) {
    std::error_code ignored;
    for (const char* name : {"filler", "pack.bin"}) std::filesystem::remove(root + name, ignored);
  }
}

TEST_F(TransferSessionTest, TotalSizeAddsWhatTheServerAnnounces) {
  server.PutFile("a.bin", PatternBytes(1000));
  server.PutFile("b c.bin", PatternBytes(5000000));
  EXPECT_EQ(session.GetTotalSize({"a.bin", "b c.bin", "missing.bin"}), 5001000);
  for (const RecordedRequest& request : server.Requests()) EXPECT_EQ(request.method, "HEAD");
}

// A cancel before the request fails without asking the server and keeps the error number; a
// disconnect from another thread ends a running transfer; a body that stops coming ends at the
// stall period with the time-out number and keeps what came.
TEST_F(TransferSessionTest, CancelDisconnectOrStallStopsTheTransfer) {
  server.PutFile("slow.bin", PatternBytes(100000));
  session.SetFailure(TransferFailure::Http(77));
  session.SetCancel(true);
  EXPECT_FALSE(session.Download("slow.bin", local.PathOf("out.bin")));
  EXPECT_EQ(session.GetErrorCode(), 77);
  EXPECT_FALSE(local.Exists("out.bin"));
  EXPECT_TRUE(server.Requests().empty());

  SetUp();  // a fresh session: the cancel and the failure go
  server.SetBehaviour("slow.bin", {.bytesPerSecond = 10000});
  std::thread closer = OnceBytesArrive([this] { EXPECT_TRUE(session.Disconnect()); });
  bool ok = true;
  FetchFile("slow.bin", &ok);
  closer.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(session.GetErrorCode(), kOperationCancelled);

  SetUp();
  server.SetBehaviour("slow.bin", {.stallAfter = 30000});
  session.SetHttpStallTimeout(2000);
  const auto start = Clock::now();
  EXPECT_EQ(FetchFile("slow.bin", &ok).value_or("").size(), 30000u);
  EXPECT_FALSE(ok);
  EXPECT_EQ(session.GetErrorCode(), kTimeout);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
}

class FtpTransferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.IsRunning());
    session.Reset();
    session.SetHost("127.0.0.1");
    session.SetPort(server.Port());
    session.SetUserName(FtpServer::kUser);
    session.SetPassword(FtpServer::kPassword);
  }

  FtpServer server;
  ScratchDir local;
  CTransferSession session;
};

TEST_F(FtpTransferTest, LogsInDownloadsFilesAndSizes) {
  const std::string big = PatternBytes(1500000);
  server.PutFile("patch/Client.zip", big);
  server.PutFile("patch/a b.txt", "small");
  session.SetPassword("wrong");
  EXPECT_FALSE(session.Connect());
  EXPECT_EQ(session.GetErrorCode(), kLoginRefused);
  session.SetPassword(FtpServer::kPassword);
  ASSERT_TRUE(session.Connect());

  EXPECT_TRUE(session.Download("patch\\Client.zip", local.PathOf("Client.zip")));
  EXPECT_EQ(local.Read("Client.zip"), big);
  EXPECT_EQ(session.GetTotalSize({"patch/Client.zip", "patch/a b.txt", "patch/none"}), 1500005);
  session.SetStorageMode(CTransferSession::kStorageMemory);
  EXPECT_TRUE(session.Download("patch/a b.txt", ""));
  EXPECT_EQ(session.GetText(), "small");
  EXPECT_FALSE(session.Download("patch/none", local.PathOf("none")));
  EXPECT_EQ(session.GetErrorCode(), kFtpRemoteFileFailed);
  EXPECT_TRUE(session.Disconnect());
  session.SetPort(UnusedLoopbackPort());
  session.SetConnectRetries(2);
  EXPECT_FALSE(session.Connect());
  EXPECT_EQ(session.GetErrorCode(), kCannotConnect);
}

// FTP has no If-Range: kept bytes are continued with REST only while the file's size and time
// are the ones they came with; a changed file is fetched whole.
TEST_F(FtpTransferTest, KeptBytesAreContinuedWhileTheFileIsUnchanged) {
  const std::string first = PatternBytes(100000, 3), second = PatternBytes(100000, 4);
  const std::string served = server.PutFile("patch/Pack.SPF", first);
  ASSERT_TRUE(session.Connect());
  const std::string path = local.PathOf("Pack.SPF");
  int64_t kept = -1;
  std::string validator;
  auto bodyStarts = [&](int64_t keptBytes, const std::string& given) { kept = keptBytes, validator = given; };
  ASSERT_TRUE(session.Download("patch/Pack.SPF", path, {}, bodyStarts));
  EXPECT_EQ(kept, 0);
  ASSERT_NE(validator, "");

  const std::string firstValidator = validator;
  std::filesystem::resize_file(path, 60000);
  EXPECT_TRUE(session.Download("patch/Pack.SPF", path, {60000, firstValidator}, bodyStarts));
  EXPECT_EQ(kept, 60000);
  EXPECT_EQ(session.GetTransferred(), 100000);
  EXPECT_EQ(local.Read("Pack.SPF"), first);

  server.PutFile("patch/Pack.SPF", second);
  // A time the first never had.
  std::filesystem::last_write_time(served, std::filesystem::last_write_time(served) - std::chrono::hours(24 * 400));
  std::filesystem::resize_file(path, 60000);
  EXPECT_TRUE(session.Download("patch/Pack.SPF", path, {60000, firstValidator}, bodyStarts));
  EXPECT_EQ(kept, 0);
  EXPECT_NE(validator, firstValidator);
  EXPECT_EQ(local.Read("Pack.SPF"), second);
}

}  // namespace
