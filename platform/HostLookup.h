#pragma once
// Name resolution through the system's address-information service.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// The numeric text of the first IPv4 address of `host` (stream sockets, TCP), or empty.
std::string LookUpNumericAddress(const std::string& host, const std::string& service);

// The IPv4 address (network byte order) of a dotted address, or else of a host name; none with
// the system's error number in `error` when the name cannot be resolved.
std::optional<uint32_t> ResolveIPv4(const std::string& host, int& error);
// The dotted text of an IPv4 address in network byte order.
std::string DottedIPv4(uint32_t address);

}  // namespace platform
