#include "patch/Crypto.h"

#include <gcrypt.h>

#include <climits>
#include <cstring>
#include <memory>

namespace {

constexpr size_t kDigestSize = 32;

// The order L of Ed25519's base point, little-endian like S in a signature.
constexpr uint8_t kGroupOrder[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                     0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                     0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};

// The y coordinates of the eight points of small order (0, 1, p-1 and the two of order 8), and the
// other spellings of 0 and 1 below 2^255 (p, p+1). The sign bit of x is not part of the match.
constexpr uint8_t kSmallOrderY[7][32] = {
    {0},
    {1},
    {0x26, 0xe8, 0x95, 0x8f, 0xc2, 0xb2, 0x27, 0xb0, 0x45, 0xc3, 0xf4, 0x89, 0xf2, 0xef, 0x98, 0xf0,
     0xd5, 0xdf, 0xac, 0x05, 0xd3, 0xc6, 0x33, 0x39, 0xb1, 0x38, 0x02, 0x88, 0x6d, 0x53, 0xfc, 0x05},
    {0xc7, 0x17, 0x6a, 0x70, 0x3d, 0x4d, 0xd8, 0x4f, 0xba, 0x3c, 0x0b, 0x76, 0x0d, 0x10, 0x67, 0x0f,
     0x2a, 0x20, 0x53, 0xfa, 0x2c, 0x39, 0xcc, 0xc6, 0x4e, 0xc7, 0xfd, 0x77, 0x92, 0xac, 0x03, 0x7a},
    {0xec, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
    {0xed, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
    {0xee, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,
     0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f},
};

// libgcrypt takes S modulo L, so S+L would pass as a second spelling of a valid signature.
bool BelowGroupOrder(const uint8_t* s) {
  for (int i = 31; i >= 0; --i)
    if (s[i] != kGroupOrder[i]) return s[i] < kGroupOrder[i];
  return false;
}

// Under such a key a signature with S = 0 verifies for some or all messages; libgcrypt 1.10 even
// aborts the process on the keys whose x is 0.
bool HasSmallOrder(const std::array<uint8_t, 32>& key) {
  for (const auto& y : kSmallOrderY)
    if (std::memcmp(key.data(), y, 31) == 0 && (key[31] & 0x7f) == y[31]) return true;
  return false;
}

struct SexpRelease {
  void operator()(gcry_sexp_t sexp) const { gcry_sexp_release(sexp); }
};
using Sexp = std::unique_ptr<gcry_sexp, SexpRelease>;

Sexp Build(const char* format, auto... arguments) {
  gcry_sexp_t sexp = nullptr;
  if (gcry_sexp_build(&sexp, nullptr, format, arguments...) != 0) return nullptr;
  return Sexp(sexp);
}

std::string Hex(const unsigned char* bytes, size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0f];
  }
  return text;
}

}  // namespace

bool InitCryptoLibrary() {
  // The library's start-up is not thread-safe; a function-local static runs it exactly once.
  static const bool ready = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) return false;  // older than the headers
    // Nothing here holds a secret: no secure memory, which would need the right to lock pages.
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  return ready;
}

Sha256::Sha256() {
  if (!InitCryptoLibrary() || gcry_md_open(&handle_, GCRY_MD_SHA256, 0) != 0) handle_ = nullptr;
}

Sha256::~Sha256() { gcry_md_close(handle_); }

void Sha256::Update(const void* data, size_t length) {
  if (handle_ != nullptr) gcry_md_write(handle_, data, length);
}

std::string Sha256::FinalHex() {
  if (handle_ == nullptr) return {};
  const unsigned char* digest = gcry_md_read(handle_, GCRY_MD_SHA256);
  std::string text = digest != nullptr ? Hex(digest, kDigestSize) : std::string();
  gcry_md_reset(handle_);
  return text;
}

bool VerifyEd25519(const std::array<uint8_t, 32>& publicKey, std::string_view message, std::string_view signature) {
  if (signature.size() != 64 || message.size() > INT_MAX || !InitCryptoLibrary()) return false;
  const char* r = signature.data();
  const char* s = r + 32;
  // R needs no such check: the library matches R's bytes against the canonical spelling of the
  // point it computes, so another spelling of R never verifies (as with libcrypto).
  if (!BelowGroupOrder(reinterpret_cast<const uint8_t*>(s)) || HasSmallOrder(publicKey)) return false;
  const Sexp key = Build("(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))", 32, publicKey.data());
  // Ed25519 hashes the message itself (with SHA-512): the whole message is handed over.
  const Sexp data = Build("(data (flags eddsa) (hash-algo sha512) (value %b))", static_cast<int>(message.size()),
                          message.data());
  const Sexp value = Build("(sig-val (eddsa (r %b) (s %b)))", 32, r, 32, s);
  return key && data && value && gcry_pk_verify(value.get(), data.get(), key.get()) == 0;
}
