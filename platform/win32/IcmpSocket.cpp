#include "platform/IcmpSocket.h"

// The system's ICMP service sends an echo and waits for its reply in one call, without the
// privileges a raw socket needs. It stands behind the socket's steps here: SendTo keeps the
// request, WaitReadable sends it and waits, ReceiveFrom gives the reply as an ICMP echo-reply
// message, as a datagram socket would.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr size_t kHeaderSize = 8;  // type, code, checksum, identifier, sequence

}  // namespace

struct IcmpSocket::Impl {
  HANDLE handle = INVALID_HANDLE_VALUE;
  int error = 0;
  uint32_t address = 0;
  std::vector<uint8_t> request;  // the whole ICMP message as built by the caller
  std::vector<uint8_t> reply;    // the echo reply as an ICMP message, once one came
  uint32_t replyFrom = 0;
};

IcmpSocket::IcmpSocket() : impl_(std::make_unique<Impl>()) {}

IcmpSocket::~IcmpSocket() { Close(); }

bool IcmpSocket::Open() {
  Close();
  impl_->handle = IcmpCreateFile();
  if (impl_->handle == INVALID_HANDLE_VALUE) {
    impl_->error = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

bool IcmpSocket::IsOpen() const { return impl_->handle != INVALID_HANDLE_VALUE; }

IcmpSocket::Kind IcmpSocket::GetKind() const { return Kind::Datagram; }

void IcmpSocket::Close() {
  if (impl_->handle != INVALID_HANDLE_VALUE) IcmpCloseHandle(impl_->handle);
  impl_->handle = INVALID_HANDLE_VALUE;
}

int IcmpSocket::Error() const { return impl_->error; }

bool IcmpSocket::SendTo(uint32_t address, const uint8_t* packet, size_t size) {
  if (!IsOpen() || size < kHeaderSize || size - kHeaderSize > 65500) {
    impl_->error = ERROR_INVALID_PARAMETER;
    return false;
  }
  impl_->address = address;
  impl_->request.assign(packet, packet + size);
  impl_->reply.clear();
  return true;
}

IcmpSocket::Wait IcmpSocket::WaitReadable(uint32_t timeoutMs) {
  if (!impl_->reply.empty()) return Wait::Readable;
  if (impl_->request.empty()) return Wait::TimedOut;  // nothing was sent
  const std::vector<uint8_t> request = std::move(impl_->request);
  impl_->request.clear();
  const WORD dataSize = static_cast<WORD>(request.size() - kHeaderSize);
  // Room for one reply with its data and an ICMP error message, as the service asks.
  std::vector<uint8_t> buffer(sizeof(ICMP_ECHO_REPLY) + dataSize + 8 + 64);  // and a status block
  const DWORD count = IcmpSendEcho(impl_->handle, impl_->address, const_cast<uint8_t*>(request.data()) + kHeaderSize,
                                   dataSize, nullptr, buffer.data(), static_cast<DWORD>(buffer.size()),
                                   timeoutMs == 0 ? 1 : timeoutMs);
  if (count == 0) {
    const DWORD error = GetLastError();
    if (error == IP_REQ_TIMED_OUT || error == WAIT_TIMEOUT) return Wait::TimedOut;
    impl_->error = static_cast<int>(error);
    return Wait::Failed;
  }
  const auto* replies = reinterpret_cast<const ICMP_ECHO_REPLY*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    const ICMP_ECHO_REPLY& reply = replies[i];
    // A gateway's answer (unreachable, time exceeded) arrives as a reply with its own status:
    // only a real echo counts.
    if (reply.Status != IP_SUCCESS) {
      impl_->error = static_cast<int>(reply.Status);
      continue;
    }
    impl_->reply.assign(request.begin(), request.begin() + kHeaderSize);
    impl_->reply[0] = 0;  // echo reply
    impl_->reply[2] = impl_->reply[3] = 0;
    const auto* data = static_cast<const uint8_t*>(reply.Data);
    impl_->reply.insert(impl_->reply.end(), data, data + reply.DataSize);
    impl_->replyFrom = reply.Address;
    return Wait::Readable;
  }
  return Wait::Failed;
}

long IcmpSocket::ReceiveFrom(uint8_t* buffer, size_t size, uint32_t& from) {
  if (impl_->reply.empty()) {
    impl_->error = WSAEWOULDBLOCK;
    return -1;
  }
  const size_t length = std::min(size, impl_->reply.size());
  std::memcpy(buffer, impl_->reply.data(), length);
  impl_->reply.clear();
  from = impl_->replyFrom;
  return static_cast<long>(length);
}

// The service answers only its own request, so the reply carries the identifier it was sent with.
std::optional<uint16_t> IcmpSocket::SystemIdentifier() const { return std::nullopt; }

}  // namespace platform
