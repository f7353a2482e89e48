#pragma once
// A certificate authority of the tests' own, made with the openssl program in a scratch folder:
// TrustedAuthority makes this process trust it, and tls_server.py serves with the ones it issues.

#include <optional>
#include <string>

#include "tests/support/ScopedEnvironment.h"
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

// This process's transfers trust `authority` while the object lives: CURL_CA_BUNDLE names it on
// Linux; on Windows it joins the user's root store. A Windows program reads its trusted roots
// once, at its first secure transfer: the object must be made before that.
class TrustedAuthority {
 public:
  explicit TrustedAuthority(const TestAuthority& authority);
  ~TrustedAuthority();
  TrustedAuthority(const TrustedAuthority&) = delete;
  TrustedAuthority& operator=(const TrustedAuthority&) = delete;

  bool IsTrusted() const { return trusted_; }

 private:
  bool trusted_ = false;
#ifdef _WIN32
  const void* added_ = nullptr;  // the certificate's context in the root store
#else
  std::optional<ScopedEnvironment> bundle_;
#endif
};
