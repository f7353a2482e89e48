#pragma once
// What proves that a release comes from its publisher: an Ed25519 signature over the exact
// bytes of Update.NFO, SHA-256 digests of the files it announces, and the release's serial.
// Nothing is thrown, failures are values.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The publisher's public key (32 raw bytes), as the operator writes it: base64 text.
class ReleaseKey {
 public:
  static constexpr size_t kSize = 32;
  static constexpr size_t kSignatureSize = 64;

  // None unless `text` (surrounding white space aside) is the base64 of exactly 32 bytes.
  static std::optional<ReleaseKey> FromBase64(std::string_view text);
  static ReleaseKey FromBytes(const std::array<uint8_t, kSize>& bytes) { return ReleaseKey(bytes); }

  std::string ToBase64() const;
  // Lower-case hexadecimal SHA-256 of the key's 32 bytes: how a record names the key.
  std::string Fingerprint() const;
  // True only when `signature` (64 raw bytes) is this key's signature over exactly `message`.
  bool Verifies(std::string_view message, std::string_view signature) const;

 private:
  explicit ReleaseKey(const std::array<uint8_t, kSize>& bytes) : bytes_(bytes) {}
  std::array<uint8_t, kSize> bytes_;
};

enum class SignatureCheck { Valid, Unreadable, Mismatch };

// Checks the text of an Update.NFO.sig (the base64 of the 64-byte signature, white space
// around it allowed) against the exact bytes of the file it signs.
SignatureCheck CheckSignatureText(const ReleaseKey& key, std::string_view signedBytes, std::string_view signatureText);

// Base64 without line breaks; decoding refuses anything but whole, well-padded groups.
std::string EncodeBase64(std::string_view bytes);
std::optional<std::string> DecodeBase64(std::string_view text);

// Lower-case hexadecimal SHA-256 of bytes, or of a whole file: empty when the file cannot be read
// to its end, or when `cancelled` (polled once per read of up to 1 MiB) returns true.
std::string Sha256Hex(std::string_view bytes);
std::string Sha256OfFile(const std::string& path, const std::function<bool()>& cancelled = {});

// A release serial: 1 to 19 decimal digits and nothing else. None otherwise.
std::optional<uint64_t> ParseReleaseSerial(std::string_view text);
