#include "patch/ReleaseSignature.h"

#include <openssl/evp.h>

#include <memory>

#include "platform/FileSystem.h"

namespace {

constexpr size_t kFileReadSize = 1 << 20;

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextFree>;

std::string_view TrimmedSpace(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string Hex(const unsigned char* bytes, unsigned length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (unsigned i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0x0f];
  }
  return text;
}

std::string FinalHex(EVP_MD_CTX* context) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_DigestFinal_ex(context, digest, &length) != 1) return {};
  return Hex(digest, length);
}

}  // namespace

std::optional<ReleaseKey> ReleaseKey::FromBase64(std::string_view text) {
  const std::optional<std::string> raw = DecodeBase64(TrimmedSpace(text));
  if (!raw || raw->size() != kSize) return std::nullopt;
  std::array<uint8_t, kSize> bytes;
  for (size_t i = 0; i < kSize; ++i) bytes[i] = static_cast<uint8_t>((*raw)[i]);
  return ReleaseKey(bytes);
}

std::string ReleaseKey::ToBase64() const {
  return EncodeBase64(std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
}

std::string ReleaseKey::Fingerprint() const {
  return Sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
}

bool ReleaseKey::Verifies(std::string_view message, std::string_view signature) const {
  if (signature.size() != kSignatureSize) return false;
  std::unique_ptr<EVP_PKEY, PkeyFree> key(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes_.data(), bytes_.size()));
  MdContext context(EVP_MD_CTX_new());
  if (!key || !context) return false;
  // Ed25519 signs the message itself: no separate digest is named.
  if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
  return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
                          reinterpret_cast<const unsigned char*>(message.data()), message.size()) == 1;
}

SignatureCheck CheckSignatureText(const ReleaseKey& key, std::string_view signedBytes, std::string_view signatureText) {
  const std::optional<std::string> signature = DecodeBase64(TrimmedSpace(signatureText));
  if (!signature || signature->size() != ReleaseKey::kSignatureSize) return SignatureCheck::Unreadable;
  return key.Verifies(signedBytes, *signature) ? SignatureCheck::Valid : SignatureCheck::Mismatch;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  text.resize(written < 0 ? 0 : static_cast<size_t>(written));
  return text;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  // EVP_DecodeBlock skips some white space, accepts misplaced padding and counts padding as
  // zero bytes: the form is checked here, and the padding taken off its result.
  if (text.empty() || text.size() % 4 != 0 || text.size() > (1u << 20)) return std::nullopt;
  const size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
  for (size_t i = 0; i < text.size() - padding; ++i) {
    const char c = text[i];
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/'))
      return std::nullopt;
  }
  std::string bytes(text.size() / 4 * 3, '\0');
  const int decoded = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                      reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (decoded < 0 || static_cast<size_t>(decoded) != bytes.size()) return std::nullopt;
  bytes.resize(bytes.size() - padding);
  return bytes;
}

std::string Sha256Hex(std::string_view bytes) {
  MdContext context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1)
    return {};
  return FinalHex(context.get());
}

std::string Sha256OfFile(const std::string& path, const std::function<bool()>& cancelled) {
  MdContext context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
  bool digested = true;
  const bool read = platform::ReadFileInPieces(path, kFileReadSize, cancelled, [&](const uint8_t* piece, size_t size) {
    return digested = EVP_DigestUpdate(context.get(), piece, size) == 1;
  });
  return read && digested ? FinalHex(context.get()) : std::string();
}

std::optional<uint64_t> ParseReleaseSerial(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}
