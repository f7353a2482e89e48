#include "download/TransferUrl.h"

#include <cctype>

namespace {

bool IsUnreserved(unsigned char c) {
  return std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_' || c == '~';
}

}  // namespace

bool HostHasScheme(std::string_view host) {
  const auto mark = host.find("://");
  if (mark == std::string_view::npos || mark == 0) return false;
  for (size_t i = 0; i < mark; ++i) {
    const unsigned char c = static_cast<unsigned char>(host[i]);
    const bool allowed = std::isalpha(c) != 0 || (i > 0 && (std::isdigit(c) != 0 || c == '+' || c == '-' || c == '.'));
    if (!allowed) return false;
  }
  return true;
}

std::string EncodePathSegment(std::string_view segment) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(segment.size());
  for (const char raw : segment) {
    const unsigned char c = static_cast<unsigned char>(raw);
    if (IsUnreserved(c)) {
      encoded += raw;
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 0x0F];
    }
  }
  return encoded;
}

std::string BuildTransferUrl(std::string_view host, std::string_view remotePath,
                             std::string_view defaultScheme) {
  std::string url;
  if (!HostHasScheme(host)) {
    url.append(defaultScheme).append("://");
  }
  while (!host.empty() && host.back() == '/') host.remove_suffix(1);
  url.append(host);

  std::string path(remotePath);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  size_t start = path.find_first_not_of('/');
  if (start == std::string::npos) start = path.size();
  url += '/';
  // Each segment is encoded on its own so that the separators stay separators.
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    url += EncodePathSegment(std::string_view(path).substr(start, end - start));
    if (end == path.size()) break;
    url += '/';
    start = end + 1;
  }
  return url;
}
