#include "platform/HostLookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

namespace platform {

std::string LookUpNumericAddress(const std::string& host, const std::string& service) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* results = nullptr;
  if (getaddrinfo(host.c_str(), service.empty() ? nullptr : service.c_str(), &hints, &results) != 0 || !results)
    return {};
  char text[260] = {};
  int status = getnameinfo(results->ai_addr, results->ai_addrlen, text, sizeof(text), nullptr, 0, NI_NUMERICHOST);
  freeaddrinfo(results);
  return status == 0 ? std::string(text) : std::string();
}

std::optional<uint32_t> ResolveIPv4(const std::string& host, int& error) {
  in_addr dotted{};
  if (inet_aton(host.c_str(), &dotted) != 0) return dotted.s_addr;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* results = nullptr;
  const int status = getaddrinfo(host.c_str(), nullptr, &hints, &results);
  if (status != 0 || !results) {
    error = status == EAI_SYSTEM ? errno : EHOSTUNREACH;
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
