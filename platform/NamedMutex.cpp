#include "platform/NamedMutex.h"

#include <cstdint>

// The naming shared by every system; what holds the name is in the platform folders.

namespace platform {

std::string NamedMutex::EncodedName(const std::string& name) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : name) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                      c == '_' || c == '.';
    if (safe) {
      encoded.push_back(static_cast<char>(c));
    } else {
      encoded.push_back('%');
      encoded.push_back(kDigits[c >> 4]);
      encoded.push_back(kDigits[c & 0x0f]);
    }
  }
  constexpr size_t kMaxEncoded = 200;
  if (encoded.size() > kMaxEncoded) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
    encoded.resize(kMaxEncoded - 17);
    encoded.push_back('~');
    for (int shift = 60; shift >= 0; shift -= 4) encoded.push_back(kDigits[(hash >> shift) & 0x0f]);
  }
  return encoded;
}

}  // namespace platform
