#include "platform/HostLookup.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

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

}  // namespace platform
