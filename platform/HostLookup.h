#pragma once
// Name resolution through the system's address-information service.

#include <string>

namespace platform {

// The numeric text of the first IPv4 address of `host` (stream sockets, TCP), or empty.
std::string LookUpNumericAddress(const std::string& host, const std::string& service);

}  // namespace platform
