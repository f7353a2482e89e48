#include "servers/Ping.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/HostLookup.h"
#include "platform/Process.h"
#include "platform/TerminalText.h"

namespace {

constexpr uint8_t kEchoRequest = 8;
constexpr uint8_t kEchoReply = 0;
constexpr uint8_t kDataByte = 0x45;
constexpr size_t kReceiveSize = 1024;

void PutLittleEndian(uint8_t* at, uint32_t value, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

CPing::~CPing() { Close(); }

// POSIX sockets need no start-up and the millisecond tick is always there; the step that
// calls this is where a platform that needs a start-up does it.
bool CPing::Init() {
  error_ = 0;
  return true;
}

int32_t CPing::Ping2(const std::string& host, PingReply& reply, uint32_t timeoutMs, uint8_t dataSize) {
  if (dataSize < 8) {
    error_ = ENOBUFS;
    return kFailed;
  }
  const int32_t result = Measure(host, reply, timeoutMs, dataSize);
  Close();
  return result;
}

int32_t CPing::Measure(const std::string& host, PingReply& reply, uint32_t timeoutMs, uint8_t dataSize) {
  if (!socket_.Open()) {
    platform::DebugOutput("socket() failed\n");
    error_ = socket_.Error();
    return kFailed;
  }
  int resolveError = 0;
  const std::optional<uint32_t> address = platform::ResolveIPv4(host, resolveError);
  if (!address) {
    error_ = resolveError;
    platform::DebugOutput("CPing::Ping2, Could not resolve the host name " + platform::TerminalLine(host) + "\n");
    return kFailed;
  }
  std::vector<uint8_t> packet(kRequestHeaderSize + dataSize);
  BuildEchoRequest(packet.data(), packet.size());
  elapsed_ = platform::TickCount();
  if (!socket_.SendTo(*address, packet.data(), packet.size())) {
    error_ = socket_.Error();
    platform::DebugOutput("CPing::Ping2, sendto failed\n");
    return kFailed;
  }
  return ReadReply(reply, timeoutMs);
}

int32_t CPing::ReadReply(PingReply& reply, uint32_t timeoutMs) {
  std::vector<uint8_t> buffer(kReceiveSize);
  bool readable = false;
  if (!IsReadible(timeoutMs, readable)) {
    platform::DebugOutput("CPing::Ping2, IsReadible call failed\n");
    return kFailed;
  }
  if (!readable) {
    platform::DebugOutput("CPing::Ping2, timeout occured while awaiting recvfrom\n");
    error_ = ETIMEDOUT;
    return kTimedOut;
  }
  uint32_t from = 0;
  const long received = socket_.ReceiveFrom(buffer.data(), buffer.size(), from);
  elapsed_ = platform::TickCount() - elapsed_;
  if (received < 0) {
    error_ = socket_.Error();
    platform::DebugOutput("CPing::Ping2, recvfrom call failed\n");
    return kFailed;
  }
  // A datagram socket's requests carry the system's identifier instead of ours, and its replies
  // come without the IPv4 header.
  const EchoReplyForm form{socket_.GetKind() == platform::IcmpSocket::Kind::Raw,
                           socket_.SystemIdentifier().value_or(Identifier())};
  if (!DecodeReply(buffer.data(), static_cast<size_t>(received), from, form)) return kFailed;
  reply.address = from;
  reply.elapsedMs = static_cast<int32_t>(elapsed_);
  return reply.elapsedMs;
}

bool CPing::IsReadible(uint32_t timeoutMs, bool& readable) {
  const platform::IcmpSocket::Wait wait = socket_.WaitReadable(timeoutMs);
  if (wait == platform::IcmpSocket::Wait::Failed) {
    error_ = socket_.Error();
    return false;
  }
  readable = wait == platform::IcmpSocket::Wait::Readable;
  return true;
}

int CPing::DecodeReply(const uint8_t* buffer, size_t length, uint32_t from, const EchoReplyForm& form) {
  const size_t header = form.ipHeader && length > 0 ? (buffer[0] & 0x0fu) * 4u : 0;
  if (length < header + 8) {
    platform::DebugOutput("Received too few bytes from " + platform::DottedIPv4(from) + "\n");
    error_ = EPROTO;
    return 0;
  }
  const uint8_t type = buffer[header];
  if (type != kEchoReply) {
    platform::DebugOutput("non-echo type " + std::to_string(type) + " recvd\n");
    error_ = EPROTO;
    return 0;
  }
  // Another program's reply is a failed measurement; nothing more is read.
  if ((buffer[header + 4] | buffer[header + 5] << 8) != form.identifier) {
    error_ = EPROTO;
    return 0;
  }
  return 1;
}

void CPing::BuildEchoRequest(uint8_t* packet, size_t size) const {
  if (size < kRequestHeaderSize) return;
  std::fill(packet, packet + size, kDataByte);
  packet[0] = kEchoRequest;
  packet[1] = 0;
  PutLittleEndian(packet + 2, 0, 2);
  PutLittleEndian(packet + 4, Identifier(), 2);
  PutLittleEndian(packet + 6, 0, 2);
  PutLittleEndian(packet + 8, platform::TickCount(), 4);
  PutLittleEndian(packet + 2, Checksum(packet, size), 2);
}

uint16_t CPing::Checksum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 1 < size; i += 2) sum += data[i] | data[i + 1] << 8;
  if (i < size) sum += data[i];
  sum = (sum >> 16) + (sum & 0xffff);
  sum += sum >> 16;
  return static_cast<uint16_t>(~sum);
}

uint16_t CPing::Identifier() { return static_cast<uint16_t>(platform::CurrentProcessId() & 0xffff); }

void CPing::Close() { socket_.Close(); }
