#include "platform/HostLookup.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace platform {

namespace {

// The socket library is started once for the process and stays up.
bool SocketsReady() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

}  // namespace

std::string LookUpNumericAddress(const std::string& host, const std::string& service) {
  if (!SocketsReady()) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* results = nullptr;
  if (getaddrinfo(host.c_str(), service.empty() ? nullptr : service.c_str(), &hints, &results) != 0 || !results)
    return {};
  char text[260] = {};
  const int status = getnameinfo(results->ai_addr, static_cast<socklen_t>(results->ai_addrlen), text, sizeof(text),
                                 nullptr, 0, NI_NUMERICHOST);
  freeaddrinfo(results);
  return status == 0 ? std::string(text) : std::string();
}

std::optional<uint32_t> ResolveIPv4(const std::string& host, int& error) {
  if (!SocketsReady()) {
    error = WSANOTINITIALISED;
    return std::nullopt;
  }
  in_addr dotted{};
  if (inet_pton(AF_INET, host.c_str(), &dotted) == 1) return dotted.s_addr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* results = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &results);
  if (status != 0 || !results) {
    error = status != 0 ? status : WSAHOST_NOT_FOUND;
    return std::nullopt;
  }
  const uint32_t address = reinterpret_cast<const sockaddr_in*>(results->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(results);
  return address;
}

std::string DottedIPv4(uint32_t address) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr value{};
  value.s_addr = address;
  return inet_ntop(AF_INET, &value, text, sizeof text) ? std::string(text) : std::string();
}

}  // namespace platform
