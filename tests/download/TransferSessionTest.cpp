#include "download/TransferSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "download/TransferError.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/FtpServer.h"
#include "tests/support/ScratchDir.h"

namespace {

using namespace transfer_error;
using Clock = std::chrono::steady_clock;

class TransferSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.IsRunning());
    ResetSession();
  }
  void ResetSession() {
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

  // Sets the cancel flag from another thread once the first bytes have arrived.
  std::thread CancelAfterFirstBytes() {
    return std::thread([this] {
      while (session.GetTransferred() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      session.SetCancel(true);
    });
  }

  FixtureServer server;
  ScratchDir local;
  CTransferSession session;
};

TEST_F(TransferSessionTest, DeliversExactlyTheServedBytesToFileAndMemory) {
  const std::vector<std::pair<std::string, std::string>> files = {
      {"patch/Update.NFO", "[SolaneLauncher]\r\nVersion=3\r\n"},
      {"patch/empty.txt", ""},
      {"patch/Client.zip", PatternBytes(3 * 1024 * 1024 + 17)},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    server.PutFile(name, bytes);
    bool ok = false;
    EXPECT_EQ(FetchFile(name, &ok), bytes);
    EXPECT_TRUE(ok);
    EXPECT_EQ(session.GetTransferred(), static_cast<int64_t>(bytes.size()));
    EXPECT_EQ(FetchText(name), bytes);
  }
  EXPECT_EQ(session.GetErrorCode(), 0);
}

TEST_F(TransferSessionTest, RequestCarriesAgentAndNoCacheHeadersForEveryHostForm) {
  server.PutFile("patch/a.txt", "a");
  const std::string port = std::to_string(server.Port());
  for (const std::string& host : {"127.0.0.1:" + port, "http://127.0.0.1:" + port, "http://127.0.0.1:" + port + "/"}) {
    session.SetHost(host);
    EXPECT_EQ(FetchFile("patch/a.txt"), "a") << host;
  }
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  for (const RecordedRequest& request : requests) {
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/patch/a.txt");
    EXPECT_EQ(request.Header("User-Agent"), "Solane Launcher");
    EXPECT_EQ(request.Header("Pragma"), "no-cache");
    EXPECT_EQ(request.Header("Cache-Control"), "no-cache");
    EXPECT_EQ(request.Header("Range"), "");
  }
}

TEST_F(TransferSessionTest, NamesWithReservedAndNonAsciiCharactersReachTheServer) {
  const std::vector<std::string> names = {"patch/a b#c?d=e.txt", "patch/sub dir/100%.dat", "patch/\xC3\x9C" "ber.SPF"};
  for (const std::string& name : names) {
    server.PutFile(name, "content of " + name);
    std::string remote = name;
    std::replace(remote.begin(), remote.end(), '/', '\\');  // names from update files use "\"
    EXPECT_EQ(FetchFile(remote), "content of " + name) << name;
  }
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(requests[i].decodedPath, "/" + names[i]);
  EXPECT_EQ(requests[0].target, "/patch/a%20b%23c%3Fd%3De.txt");
}

TEST_F(TransferSessionTest, CancelBeforeTheRequestFailsAndKeepsTheErrorNumber) {
  server.PutFile("a.txt", "a");
  session.SetErrorCode(77);
  session.SetTransferred(5);
  session.SetCancel(true);
  EXPECT_FALSE(session.Download("a.txt", local.PathOf("a.txt")));
  EXPECT_EQ(session.GetErrorCode(), 77);
  EXPECT_EQ(session.GetTransferred(), 5);
  EXPECT_FALSE(local.Exists("a.txt"));
  EXPECT_EQ(session.GetTotalSize({"a.txt"}), 0);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(TransferSessionTest, AnAnswerOtherThan200FailsWithItsStatusAndStoresNothing) {
  server.PutFile("gone.bin", "real bytes");
  for (const int status : {404, 500, 204}) {
    SCOPED_TRACE(status);
    ResetSession();
    server.SetBehaviour("gone.bin", {.status = status});
    bool ok = true;
    EXPECT_EQ(FetchFile("gone.bin", &ok), std::nullopt);
    EXPECT_FALSE(ok);
    EXPECT_EQ(session.GetErrorCode(), status);
    EXPECT_EQ(FetchText("gone.bin"), std::nullopt);
    EXPECT_EQ(session.GetText(), "");
  }
  EXPECT_FALSE(FetchFile("missing.bin").has_value());
  EXPECT_EQ(session.GetErrorCode(), 404);
}

TEST_F(TransferSessionTest, NetworkFailuresGiveTheKnownErrorNumbers) {
  server.PutFile("file.bin", PatternBytes(50000));
  struct Case {
    std::string host;
    int expected;
  };
  const std::vector<Case> cases = {
      {"127.0.0.1:" + std::to_string(UnusedLoopbackPort()), kCannotConnect},
      {"gopher://127.0.0.1:" + std::to_string(server.Port()), kUnknownScheme},
      {"http://127.0.0.1:99999", kInvalidUrl},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.host);
    session.SetHost(test.host);
    EXPECT_FALSE(session.Download("file.bin", local.PathOf("file.bin")));
    EXPECT_EQ(session.GetErrorCode(), test.expected);
    EXPECT_EQ(session.GetTotalSize({"file.bin"}), 0);
    EXPECT_FALSE(local.Exists("file.bin"));
  }

  // A connection that ends early keeps what arrived and fails.
  session.SetHost(server.Host());
  server.SetBehaviour("file.bin", {.closeAfter = 20000});
  bool ok = true;
  const auto stored = FetchFile("file.bin", &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(session.GetErrorCode(), kConnectionAborted);
  EXPECT_EQ(stored.value_or("").size(), 20000u);
}

TEST_F(TransferSessionTest, AStalledServerTimesOut) {
  server.PutFile("stall.bin", PatternBytes(100000));
  server.SetBehaviour("stall.bin", {.stallAfter = 30000});
  session.SetHttpStallTimeout(1000);
  const auto start = Clock::now();
  bool ok = true;
  const auto stored = FetchFile("stall.bin", &ok);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(6));
  EXPECT_FALSE(ok);
  EXPECT_EQ(session.GetErrorCode(), kTimeout);
  EXPECT_EQ(stored.value_or("").size(), 30000u);
}

TEST_F(TransferSessionTest, MemoryModeHoldsBodiesWhateverTheirAnnouncedLength) {
  const std::string bytes = PatternBytes(30000);
  server.PutFile("nfo", bytes);
  server.SetBehaviour("nfo", {.contentLength = 100});
  EXPECT_EQ(FetchText("nfo"), bytes.substr(0, 100));
  server.SetBehaviour("nfo", {.omitLength = true});
  EXPECT_EQ(FetchText("nfo"), bytes);

  // A body without end stops at the memory cap instead of exhausting memory.
  server.SetBehaviour("nfo", {.endless = true});
  EXPECT_EQ(FetchText("nfo"), std::nullopt);
  EXPECT_EQ(session.GetErrorCode(), kInvalidServerResponse);
  EXPECT_LE(session.GetTransferred(), CTransferSession::kMaxMemoryBody + 10240);
}

TEST_F(TransferSessionTest, ABodyPastTheExpectedSizeIsCutOffAndFails) {
  const std::string bytes = PatternBytes(50000);
  server.PutFile("pack.zip", bytes);
  session.SetExpectedSize(50000);
  EXPECT_EQ(FetchFile("pack.zip"), bytes);
  EXPECT_EQ(session.GetErrorCode(), 0);

  server.SetBehaviour("pack.zip", {.endless = true});
  session.SetExpectedSize(20000);
  bool ok = true;
  const auto stored = FetchFile("pack.zip", &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(session.GetErrorCode(), kInvalidServerResponse);
  EXPECT_EQ(stored, bytes.substr(0, 20000));
  EXPECT_GT(session.GetTransferred(), 20000);  // the caller sees a wrong size
}

TEST_F(TransferSessionTest, TheRateLimitHoldsALowerBoundOnTheTransferTime) {
  const std::string bytes = PatternBytes(200000);
  server.PutFile("limited.bin", bytes);
  session.SetRateLimit(100.0);  // bytes per millisecond
  const auto start = Clock::now();
  EXPECT_EQ(FetchFile("limited.bin"), bytes);
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1900));
}

// A cancel during the read succeeds with a partial file. The library hands over large blocks on a
// fast link; the limit and the cancel test must still act on every piece of at most 10240 bytes,
// so a cancel during the limit's first wait keeps one.
TEST_F(TransferSessionTest, TheRateLimitAndACancelActOnPiecesOfAtMost10240Bytes) {
  const std::string bytes = PatternBytes(600000);
  server.PutFile("burst.bin", bytes);
  session.SetRateLimit(10.0);  // the first piece alone is worth a second
  std::thread canceller = CancelAfterFirstBytes();
  const auto start = Clock::now();
  bool ok = false;
  const auto stored = FetchFile("burst.bin", &ok);
  canceller.join();
  EXPECT_TRUE(ok);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
  // The first block the library hands over may itself be smaller than a piece.
  ASSERT_TRUE(stored.has_value());
  EXPECT_GT(stored->size(), 0u);
  EXPECT_LE(stored->size(), 10240u);
  EXPECT_EQ(session.GetTransferred(), static_cast<int64_t>(stored->size()));
  EXPECT_EQ(*stored, bytes.substr(0, stored->size()));
}

// The file is written in large blocks, the last one when it is closed: a disk that fills up
// must fail the transfer whether the fault comes at a block or only at the close.
TEST_F(TransferSessionTest, AFullDiskFailsTheTransfer) {
  for (const size_t size : {size_t{1000}, size_t{3 * 1024 * 1024}}) {
    SCOPED_TRACE(size);
    server.PutFile("pack.bin", PatternBytes(size));
    ResetSession();
    EXPECT_FALSE(session.Download("pack.bin", "/dev/full"));
    EXPECT_EQ(session.GetErrorCode(), kLocalFileWriteFailed);
  }
}

TEST_F(TransferSessionTest, TotalSizeAddsWhatTheServerAnnounces) {
  server.PutFile("a.bin", PatternBytes(1000));
  server.PutFile("b c.bin", PatternBytes(5000000));
  EXPECT_EQ(session.GetTotalSize({}), 0);
  EXPECT_EQ(session.GetTotalSize({"a.bin", "b c.bin"}), 5001000);
  EXPECT_EQ(session.GetTotalSize({"a.bin", "missing.bin"}), 1000);
  for (const RecordedRequest& request : server.Requests()) EXPECT_EQ(request.method, "HEAD");
  EXPECT_EQ(session.GetErrorCode(), 0);
}

TEST_F(TransferSessionTest, DisconnectFromAnotherThreadEndsARunningTransfer) {
  server.PutFile("slow.bin", PatternBytes(100000));
  server.SetBehaviour("slow.bin", {.bytesPerSecond = 10000});
  std::thread closer([this] {
    while (session.GetTransferred() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(session.Disconnect());
  });
  const auto start = Clock::now();
  bool ok = true;
  FetchFile("slow.bin", &ok);
  closer.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(session.GetErrorCode(), kOperationCancelled);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST(TransferErrorTest, TextsCoverTheKnownNumbersExceptTheTimeOut) {
  for (const int code : {kTimeout, 404, kLocalFileWriteFailed}) EXPECT_EQ(TransferErrorText(code), "") << code;
  for (const int code : {kInvalidUrl, kUnknownScheme, kNameNotResolved, kLoginRefused, kCannotConnect,
                         kConnectionAborted, kInvalidServerResponse, kSecureChannel}) {
    EXPECT_FALSE(TransferErrorText(code).empty()) << code;
  }
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

TEST_F(FtpTransferTest, DownloadsFilesAndSizesAfterConnect) {
  const std::string big = PatternBytes(1500000);
  server.PutFile("patch/Client.zip", big);
  server.PutFile("patch/a b.txt", "small");
  EXPECT_FALSE(session.Download("patch/a b.txt", local.PathOf("x")));  // not connected yet
  ASSERT_TRUE(session.Connect());

  EXPECT_TRUE(session.Download("patch\\Client.zip", local.PathOf("Client.zip")));
  EXPECT_EQ(local.Read("Client.zip"), big);
  EXPECT_EQ(session.GetTransferred(), static_cast<int64_t>(big.size()));
  EXPECT_TRUE(session.Download("patch/a b.txt", local.PathOf("a.txt")));
  EXPECT_EQ(local.Read("a.txt"), "small");
  EXPECT_EQ(session.GetTotalSize({"patch/Client.zip", "patch/a b.txt", "patch/none"}), 1500005);

  session.SetStorageMode(CTransferSession::kStorageMemory);
  EXPECT_TRUE(session.Download("patch/a b.txt", ""));
  EXPECT_EQ(session.GetText(), "small");

  EXPECT_FALSE(session.Download("patch/none", local.PathOf("none")));
  EXPECT_EQ(session.GetErrorCode(), kFtpRemoteFileFailed);
  EXPECT_TRUE(session.Disconnect());
  EXPECT_EQ(session.GetTotalSize({"patch/a b.txt"}), 0);
}

TEST_F(FtpTransferTest, ARefusedLogInFails) {
  session.SetPassword("wrong");
  EXPECT_FALSE(session.Connect());
  EXPECT_EQ(session.GetErrorCode(), kLoginRefused);

  session.SetPort(UnusedLoopbackPort());
  session.SetConnectRetries(2);
  EXPECT_FALSE(session.Connect());
  EXPECT_EQ(session.GetErrorCode(), kCannotConnect);
}

}  // namespace
