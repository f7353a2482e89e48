#pragma once
// A certificate authority of the tests' own, made with the openssl program in a scratch folder:
// CURL_CA_BUNDLE names its certificate, and tls_server.py serves with the ones it issues.

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
  bool IsReady() const { return ready_; }  // false when openssl could not make it here
  const std::string& CertificatePath() const { return certificate_; }

  // A server certificate for `altName` ("IP:127.0.0.1", "DNS:patch.example") and its key, signed
  // by this authority; nothing when openssl failed.
  std::optional<Issued> Issue(const std::string& name, const std::string& altName) const;

 private:
  ScratchDir dir_;
  std::string certificate_;
  bool ready_ = false;
};
