#pragma once
// An IPv4 ICMP socket for one echo measurement. Where the process may open a raw socket it gets
// one; otherwise the unprivileged datagram ("ping") socket, which the system allows only to the
// groups of its ping group range. The two differ in what a reply looks like: a raw socket
// delivers the IPv4 header before the ICMP message, and on a datagram socket the system puts
// its own identifier into each request.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

class IcmpSocket {
 public:
  enum class Kind { Raw, Datagram };
  enum class Wait { Readable, TimedOut, Failed };

  IcmpSocket();
  ~IcmpSocket();  // closes
  IcmpSocket(const IcmpSocket&) = delete;
  IcmpSocket& operator=(const IcmpSocket&) = delete;

  // False with Error() set when neither kind can be opened.
  bool Open();
  bool IsOpen() const;
  Kind GetKind() const;
  void Close();
  // The system's error number of the last failed call.
  int Error() const;

  // `address` is an IPv4 address in network byte order.
  bool SendTo(uint32_t address, const uint8_t* packet, size_t size);
  Wait WaitReadable(uint32_t timeoutMs);
  // The datagram's length and its sender's address; -1 on failure.
  long ReceiveFrom(uint8_t* buffer, size_t size, uint32_t& from);

  // On a datagram socket after the first send: the identifier the system put into the request,
  // as the packet carries it read as a little-endian 16-bit value. None on a raw socket, whose
  // requests keep the identifier they were built with.
  std::optional<uint16_t> SystemIdentifier() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
