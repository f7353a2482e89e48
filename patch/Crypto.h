#pragma once
// SHA-256 digests and Ed25519 signature checks: one implementation (libgcrypt) on every system.
// Nothing is thrown; a library that cannot start gives no digest and verifies nothing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct gcry_md_handle;

// Starts the library once; later calls do nothing. Called by main before any thread starts; every
// function below calls it too, so that programs and tests without that call work as well.
bool InitCryptoLibrary();

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  // Feeds `length` bytes; may be called any number of times.
  void Update(const void* data, size_t length);
  // The 64-digit lower-case digest of everything fed, or empty when the library failed.
  std::string FinalHex();

 private:
  gcry_md_handle* handle_ = nullptr;
};

// True only when `signature` (64 raw bytes: R, then S) is the Ed25519 signature of `message` by
// `publicKey`. Refuses an S of the group order or above (the same signature in another spelling)
// and public keys of small order, under which forged signatures verify.
bool VerifyEd25519(const std::array<uint8_t, 32>& publicKey, std::string_view message, std::string_view signature);
