// A profile whose host carries "https://" keeps its scheme and checks the server's certificate
// against the trusted authorities; its redirects stay on https.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/TransferSession.h"
#include "platform/ScriptedMessageBox.h"
#include "tests/support/FixtureServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/Requirement.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestAuthority.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"

namespace {

// The server's name and the certificate name that matches it. Windows checks names only against
// the certificate's DNS names, so the tests there name the server "localhost".
#ifdef _WIN32
const std::string kServerName = "localhost", kServerAltName = "DNS:localhost";
#else
const std::string kServerName = "127.0.0.1", kServerAltName = "IP:127.0.0.1";
#endif

// One trusted authority for the whole program, trusted before the first secure transfer (a
// Windows program reads its trusted roots once).
const TestAuthority& Trusted() {
  static const TestAuthority authority;
  static const TrustedAuthority trust(authority);
  return authority;
}

// A certificate for the wrong name or from an authority nobody trusts fails as 12157, in the box
// and on the status line. The good one reaches the file: its content (an improper file) is what
// the launcher then complains about.
TEST(SecureTransferTest, OnlyTheHostsCertificateFromATrustedAuthorityIsAccepted) {
  const TestAuthority& trusted = Trusted();
  TestAuthority unknown;
  SOLANE_REQUIRE(trusted.IsReady() && unknown.IsReady(), "openssl cannot make certificates here");
  ScratchDir www;
  www.Write("patch/Update.NFO", "[SolaneLauncher]\r\n");
  const std::string refused = LoadCatalogueString(123) + " ErrorCode : 12157 A secure channel could not be established with the server.";
  const struct {
    const char* what;
    std::optional<TestAuthority::Issued> certificate;
    std::string box;
  } cases[] = {
      {"trusted", trusted.Issue("server", kServerAltName), LoadCatalogueString(167)},
      {"wrong host", trusted.Issue("elsewhere", "DNS:patch.solane.example"), "ErrorCode : 12157"},
      {"unknown authority", unknown.Issue("server", kServerAltName), "ErrorCode : 12157"},
  };
  for (const auto& [what, certificate, box] : cases) {
    ASSERT_TRUE(certificate) << what;
    ServerProcess server("tls_server.py", {www.Path(), certificate->certificate, certificate->key});
    ASSERT_TRUE(server.IsRunning()) << what;
    TestInstallation install;
    install.WriteConfig("Url_7=https://" + kServerName + ":" + std::to_string(server.Port()) + "\r\nType_7=2\r\nServer_Path_7=patch\r\nRun=7\r\n");
    auto boxes = std::make_shared<platform::ScriptedMessageBox>();
    platform::SetMessageBoxProvider(boxes);
    RecordingWindow window;
    install.Engine().AttachWindow(&window);
    install.Engine().StartUpdate();
    install.Engine().WaitSequenceThread();
    install.Engine().WaitDownloadThread();
    install.Engine().AttachWindow(nullptr);
    platform::SetMessageBoxProvider(nullptr);

    ASSERT_EQ(boxes->Shown().size(), 1u) << what;
    EXPECT_NE(boxes->Shown()[0].text.find(box), std::string::npos) << what << ": " << boxes->Shown()[0].text;
    const std::vector<std::string> lines = window.StatusLines();
    const std::string refusedLine = refused + " (" + kServerName + ":" + std::to_string(server.Port()) + ")";
    EXPECT_EQ(std::find(lines.begin(), lines.end(), refusedLine) != lines.end(), box != LoadCatalogueString(167)) << what;
  }
}

// A redirect may lead from one https address to another, never down to http: the http server
// is not even asked, for a file or for its size.
TEST(SecureTransferTest, ARedirectNeverLeavesHttpsForHttp) {
  const TestAuthority& trusted = Trusted();
  SOLANE_REQUIRE(trusted.IsReady(), "openssl cannot make certificates here");
  const std::optional<TestAuthority::Issued> certificate = trusted.Issue("redirected", kServerAltName);
  ASSERT_TRUE(certificate);
  FixtureServer plain;
  ASSERT_TRUE(plain.IsRunning());
  plain.PutFile("file.bin", "plain");
  ScratchDir www;
  ServerProcess server("tls_server.py", {www.Path(), certificate->certificate, certificate->key});
  ASSERT_TRUE(server.IsRunning());
  const std::string secure = "https://" + kServerName + ":" + std::to_string(server.Port());
  www.Write("moved.bin", "secure");
  www.Write("within.bin.redirect", secure + "/moved.bin");
  www.Write("down.bin.redirect", "http://" + plain.Host() + "/file.bin");

  CTransferSession session;
  session.SetHost(secure);
  session.SetProtocol(CTransferSession::kProtocolHttp);
  session.SetStorageMode(CTransferSession::kStorageMemory);
  ASSERT_TRUE(session.Download("within.bin", ""));
  EXPECT_EQ(session.GetText(), "secure");
  EXPECT_FALSE(session.Download("down.bin", ""));
  EXPECT_EQ(session.GetErrorCode(), transfer_error::kHttpsToHttpRedirect);
  TransferFailure why;
  EXPECT_EQ(session.RemoteSize("down.bin", why), std::nullopt);
  EXPECT_EQ(why.code, transfer_error::kHttpsToHttpRedirect);
  EXPECT_TRUE(plain.Requests().empty());
}

}  // namespace
