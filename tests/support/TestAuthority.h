#pragma once
// A certificate authority of the tests' own, made with the openssl program in a scratch folder.
// Its certificate is what CURL_CA_BUNDLE names; the server certificates it issues go to the TLS
// test server (tls_server.py).
//
//   TestAuthority authority;
//   auto issued = authority.Issue("server", "IP:127.0.0.1");
//   ServerProcess server("tls_server.py", {root, issued->certificate, issued->key});

#include <optional>
#include <string>

#include "tests/support/ScratchDir.h"

class TestAuthority {
 public:
  struct Issued {
    std::string certificate;
    std::string key;
  };

  TestAuthority();
  // False when openssl could not make the authority here.
  bool IsReady() const { return ready_; }
  const std::string& CertificatePath() const { return certificate_; }

  // A server certificate for `altName` ("IP:127.0.0.1", "DNS:patch.example") and its key, signed
  // by this authority and kept as `name`.crt and `name`.key; nothing when openssl failed.
  std::optional<Issued> Issue(const std::string& name, const std::string& altName) const;

 private:
  ScratchDir dir_;
  std::string certificate_;
  bool ready_ = false;
};
