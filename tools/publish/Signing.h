#pragma once
// The publisher's key pair: made once by `solane-publish keygen`, the private half signs every
// Update.NFO, the public half goes into SolaneLauncher.CFG (PublisherKey) or into the launcher's
// build. Ed25519 through libcrypto.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "patch/ReleaseSignature.h"

inline constexpr const char* kPrivateKeyFileName = "publisher.key";
inline constexpr const char* kPublicKeyFileName = "publisher.pub";

struct KeyPairResult {
  std::string error;            // empty on success
  std::string privateKeyPath;   // PEM (PKCS #8), readable by its owner only
  std::string publicKeyPath;    // one line: the base64 public key
  std::string publicKeyBase64;
};

// Writes a new pair into `folder` (created when missing). Never replaces an existing key file:
// a lost private key would lock every installation out of the next release.
KeyPairResult GenerateKeyPair(const std::string& folder);

class SigningKey {
 public:
  // The private key of `path`; none with `error` set when it cannot be read or is no Ed25519
  // key. A file that others than its owner may read adds a warning.
  static std::optional<SigningKey> Load(const std::string& path, std::string& error,
                                        std::vector<std::string>& warnings);

  // The text of Update.NFO.sig for exactly these bytes: the base64 signature and CR LF.
  std::optional<std::string> SignatureText(std::string_view bytes) const;
  ReleaseKey PublicKey() const;

 private:
  struct Key;
  explicit SigningKey(std::shared_ptr<Key> key) : key_(std::move(key)) {}
  std::shared_ptr<Key> key_;
};

// A public key given to `verify`: a file holding the base64 text (publisher.pub), or that text.
std::optional<ReleaseKey> ReadPublicKey(const std::string& fileOrText);
