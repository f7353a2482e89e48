#include "patch/ReleaseSignature.h"

#include <algorithm>
#include <cstring>

#include "patch/Crypto.h"
#include "platform/FileSystem.h"

namespace {

constexpr size_t kFileReadSize = 1 << 20;
constexpr char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string_view TrimmedSpace(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
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
  return VerifyEd25519(bytes_, message, signature);
}

SignatureCheck CheckSignatureText(const ReleaseKey& key, std::string_view signedBytes, std::string_view signatureText) {
  const std::optional<std::string> signature = DecodeBase64(TrimmedSpace(signatureText));
  if (!signature || signature->size() != ReleaseKey::kSignatureSize) return SignatureCheck::Unreadable;
  return key.Verifies(signedBytes, *signature) ? SignatureCheck::Valid : SignatureCheck::Mismatch;
}

std::string EncodeBase64(std::string_view bytes) {
  std::string text;
  text.reserve(4 * ((bytes.size() + 2) / 3));
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t taken = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t j = 0; j < 3; ++j) group = group << 8 | (j < taken ? static_cast<uint8_t>(bytes[i + j]) : 0u);
    for (size_t j = 0; j < 4; ++j) text += j <= taken ? kBase64Digits[group >> (18 - 6 * j) & 63] : '=';
  }
  return text;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  // Only whole groups of four, '=' only as the last one or two characters.
  if (text.empty() || text.size() % 4 != 0 || text.size() > (1u << 20)) return std::nullopt;
  const size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  uint32_t bits = 0;
  int pending = 0;  // bits in `bits` not yet given out as a byte
  for (const char c : text.substr(0, text.size() - padding)) {
    const char* digit = c == '\0' ? nullptr : std::strchr(kBase64Digits, c);
    if (digit == nullptr) return std::nullopt;
    bits = (bits << 6 | static_cast<uint32_t>(digit - kBase64Digits)) & 0xfff;
    if ((pending += 6) >= 8) bytes += static_cast<char>(bits >> (pending -= 8) & 0xff);
  }
  return bytes;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 digest;
  digest.Update(bytes.data(), bytes.size());
  return digest.FinalHex();
}

std::string Sha256OfFile(const std::string& path, const std::function<bool()>& cancelled) {
  Sha256 digest;
  const bool read = platform::ReadFileInPieces(path, kFileReadSize, cancelled, [&](const uint8_t* piece, size_t size) {
    digest.Update(piece, size);
    return true;
  });
  return read ? digest.FinalHex() : std::string();
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
