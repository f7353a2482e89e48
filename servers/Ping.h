#pragma once
// One ICMP echo measurement (RFC 792) of a login server's latency in milliseconds.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/IcmpSocket.h"

// The answer of a successful measurement.
struct PingReply {
  uint32_t address = 0;   // the replying IPv4 address, network byte order
  int32_t elapsedMs = 0;
};

// What a reply must look like on the socket that sent the request.
struct EchoReplyForm {
  bool ipHeader = true;     // a raw socket delivers the IPv4 header before the ICMP message
  uint16_t identifier = 0;  // the request's identifier, read little-endian
};

class CPing {
 public:
  static constexpr int32_t kTimedOut = -1;
  static constexpr int32_t kFailed = -2;
  // Type, code, checksum, identifier, sequence number and the tick come before the data.
  static constexpr size_t kRequestHeaderSize = 12;

  CPing() = default;
  virtual ~CPing();
  CPing(const CPing&) = delete;
  CPing& operator=(const CPing&) = delete;

  // Readies the measurements: false when they cannot be made here. The last error becomes 0.
  bool Init();
  // Sends one echo request with `dataSize` data bytes to `host` (a dotted address or a host
  // name) and reads at most one reply: the elapsed milliseconds (0 or more), kTimedOut when
  // nothing arrived within `timeoutMs`, kFailed on any other failure (a data size below 8, no
  // socket, an unknown host, a reply that is not ours). `reply` is written only on success.
  int32_t Ping2(const std::string& host, PingReply& reply, uint32_t timeoutMs, uint8_t dataSize);
  // Waits until the measurement's socket can be read or `timeoutMs` passes; false when the wait
  // itself failed.
  bool IsReadible(uint32_t timeoutMs, bool& readable);
  // 1 when the datagram is an echo reply carrying our identifier, else 0 with the last error set.
  int DecodeReply(const uint8_t* buffer, size_t length, uint32_t from, const EchoReplyForm& form);
  // An echo request of `size` bytes (kRequestHeaderSize and the data): type 8, code 0, our
  // identifier, sequence 0, the millisecond tick, data bytes 'E', multi-byte fields
  // little-endian, and the checksum over all of it.
  void BuildEchoRequest(uint8_t* packet, size_t size) const;
  // The Internet checksum (RFC 1071) of `data` read as little-endian 16-bit words.
  static uint16_t Checksum(const uint8_t* data, size_t size);
  // The identifier our requests carry: the low 16 bits of the process id.
  static uint16_t Identifier();
  void Close();
  // The system's error number behind the last failure.
  int GetError() const { return error_; }

 private:
  int32_t Measure(const std::string& host, PingReply& reply, uint32_t timeoutMs, uint8_t dataSize);
  int32_t ReadReply(PingReply& reply, uint32_t timeoutMs);

  int error_ = 0;
  platform::IcmpSocket socket_;
  uint32_t elapsed_ = 0;  // the tick at sending, then the elapsed milliseconds
};
