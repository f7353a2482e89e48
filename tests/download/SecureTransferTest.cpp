// A profile whose host carries "https://" keeps its scheme and checks the server's certificate.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "download/TransferError.h"
#include "download/TransferSession.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/ServerProcess.h"

namespace {

TEST(SecureTransferTest, UntrustedCertificateFailsAsSecureChannelError) {
  ScratchDir scratch;
  const std::string certificate = scratch.PathOf("server.crt"), key = scratch.PathOf("server.key");
  const std::string makeCertificate = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
                                      " -addext subjectAltName=IP:127.0.0.1 -keyout '" + key + "' -out '" +
                                      certificate + "' >/dev/null 2>&1";
  if (std::system(makeCertificate.c_str()) != 0) GTEST_SKIP() << "openssl cannot make a certificate here";
  scratch.Write("www/Update.NFO", "[SolaneLauncher]\r\n");
  BypassProxyForLoopback();
  ServerProcess server("tls_server.py", {scratch.PathOf("www"), certificate, key});
  ASSERT_TRUE(server.IsRunning());

  CTransferSession session;
  session.SetHost("https://127.0.0.1:" + std::to_string(server.Port()));
  session.SetProtocol(CTransferSession::kProtocolHttp);
  session.SetStorageMode(CTransferSession::kStorageMemory);
  // A self-signed certificate is refused. Had the scheme been dropped, plain HTTP would have
  // reached the TLS server and failed as an invalid answer instead.
  EXPECT_FALSE(session.Download("Update.NFO", ""));
  EXPECT_EQ(session.GetErrorCode(), transfer_error::kSecureChannel);
  EXPECT_EQ(session.GetText(), "");
}

}  // namespace
