#include "platform/IcmpSocket.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/icmp.h>
#endif

#include <cerrno>

#include "platform/Clock.h"

namespace platform {

struct IcmpSocket::Impl {
  int fd = -1;
  Kind kind = Kind::Raw;
  int error = 0;
};

IcmpSocket::IcmpSocket() : impl_(std::make_unique<Impl>()) {}

IcmpSocket::~IcmpSocket() { Close(); }

bool IcmpSocket::Open() {
  Close();
  int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd >= 0) {
#ifdef __linux__
    // A raw socket sees every ICMP message that arrives, on a loopback address even our own
    // request: only echo replies are let through, so the first datagram read is the answer.
    icmp_filter onlyReplies{};
    onlyReplies.data = ~(1u << ICMP_ECHOREPLY);
    setsockopt(fd, SOL_RAW, ICMP_FILTER, &onlyReplies, sizeof onlyReplies);
#endif
    impl_->fd = fd;
    impl_->kind = Kind::Raw;
    return true;
  }
  fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) {
    impl_->error = errno;
    return false;
  }
  impl_->fd = fd;
  impl_->kind = Kind::Datagram;
  return true;
}

bool IcmpSocket::IsOpen() const { return impl_->fd >= 0; }

IcmpSocket::Kind IcmpSocket::GetKind() const { return impl_->kind; }

void IcmpSocket::Close() {
  if (impl_->fd >= 0) close(impl_->fd);
  impl_->fd = -1;
}

int IcmpSocket::Error() const { return impl_->error; }

bool IcmpSocket::SendTo(uint32_t address, const uint8_t* packet, size_t size) {
  sockaddr_in destination{};
  destination.sin_family = AF_INET;
  destination.sin_addr.s_addr = address;
  const ssize_t sent =
      sendto(impl_->fd, packet, size, 0, reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
  if (sent == static_cast<ssize_t>(size)) return true;
  impl_->error = sent < 0 ? errno : EMSGSIZE;
  return false;
}

IcmpSocket::Wait IcmpSocket::WaitReadable(uint32_t timeoutMs) {
  const uint32_t start = TickCount();
  for (;;) {
    const uint32_t spent = TickCount() - start;
    pollfd entry{impl_->fd, POLLIN, 0};
    const int ready = poll(&entry, 1, static_cast<int>(spent >= timeoutMs ? 0 : timeoutMs - spent));
    if (ready > 0) return Wait::Readable;
    if (ready == 0) return Wait::TimedOut;
    // A signal (the console's Ctrl-C) is no reason to give up on the reply.
    if (errno != EINTR) {
      impl_->error = errno;
      return Wait::Failed;
    }
  }
}

long IcmpSocket::ReceiveFrom(uint8_t* buffer, size_t size, uint32_t& from) {
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  const ssize_t received = recvfrom(impl_->fd, buffer, size, 0, reinterpret_cast<sockaddr*>(&sender), &length);
  if (received < 0) {
    impl_->error = errno;
    return -1;
  }
  from = sender.sin_addr.s_addr;
  return static_cast<long>(received);
}

std::optional<uint16_t> IcmpSocket::SystemIdentifier() const {
  if (impl_->fd < 0 || impl_->kind != Kind::Datagram) return std::nullopt;
  // The system binds the socket at its first send; its "port" is the identifier it writes,
  // in network byte order.
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(impl_->fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return std::nullopt;
  const auto* bytes = reinterpret_cast<const uint8_t*>(&local.sin_port);
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace platform
