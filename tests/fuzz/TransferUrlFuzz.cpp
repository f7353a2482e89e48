// Any host and name give an address whose path holds only unreserved characters, "/" and
// well-formed percent escapes, and whose decoded path is the name with "\" turned into "/".
#include <cstddef>
#include <cstdint>
#include <cctype>
#include <cstdlib>
#include <string>

#include "download/TransferUrl.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\n');
  const std::string host = split == std::string::npos ? "patch.example" : input.substr(0, split);
  const std::string name = split == std::string::npos ? input : input.substr(split + 1);
  if (host.find('/') != std::string::npos && !HostHasScheme(host)) return 0;
  if (host.find_first_of("/?#", HostHasScheme(host) ? host.find("://") + 3 : 0) != std::string::npos) return 0;

  const std::string url = BuildTransferUrl(host, name, "http");
  const size_t authority = url.find("://") + 3;
  const size_t pathStart = url.find('/', authority);
  if (pathStart == std::string::npos) std::abort();

  std::string decoded;
  for (size_t i = pathStart; i < url.size(); ++i) {
    const char c = url[i];
    if (c == '%') {
      if (i + 2 >= url.size() || HexValue(url[i + 1]) < 0 || HexValue(url[i + 2]) < 0) std::abort();
      decoded += static_cast<char>(HexValue(url[i + 1]) * 16 + HexValue(url[i + 2]));
      i += 2;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      decoded += c;
    } else {
      std::abort();
    }
  }
  std::string expected = name;
  for (char& c : expected) {
    if (c == '\\') c = '/';
  }
  expected.erase(0, expected.find_first_not_of('/') == std::string::npos ? expected.size() : expected.find_first_not_of('/'));
  if (decoded != "/" + expected) std::abort();
  return 0;
}
