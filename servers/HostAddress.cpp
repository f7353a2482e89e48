#include "servers/HostAddress.h"

#include "platform/HostLookup.h"

std::string ResolveHostAddress(const std::string& host, const std::string& service) {
  // A scheme must keep its host name (certificate checks) and a port is part of the text.
  if (host.find("://") != std::string::npos || host.find(':') != std::string::npos) return host;
  std::string address = platform::LookUpNumericAddress(host, service);
  return address.empty() ? host : address;
}
