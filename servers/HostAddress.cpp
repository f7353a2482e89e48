#include "servers/HostAddress.h"

#include <cstdlib>

#include "platform/HostLookup.h"

std::string ResolveHostAddress(const std::string& host, const std::string& service) {
  // A scheme must keep its host name (certificate checks) and a port is part of the text.
  if (host.find("://") != std::string::npos || host.find(':') != std::string::npos) return host;
  std::string address = platform::LookUpNumericAddress(host, service);
  return address.empty() ? host : address;
}

std::string HttpHostText(const std::string& host, const std::string& address, const std::string& port) {
  if (address.empty() || host.find("://") != std::string::npos || host.find(':') != std::string::npos)
    return address;
  char* end = nullptr;
  const long number = std::strtol(port.c_str(), &end, 10);
  if (port.empty() || *end != '\0' || number <= 0 || number > 65535 || number == 80) return address;
  const bool ipv6 = address.find(':') != std::string::npos;
  return (ipv6 ? "[" + address + "]" : address) + ":" + std::to_string(number);
}
