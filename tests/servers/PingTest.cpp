// ICMP echo against loopback addresses only, and in a network namespace of the test's own.

#include "servers/Ping.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Process.h"
#include "tests/support/Requirement.h"
#ifndef _WIN32
#include <linux/capability.h>
#include <sys/syscall.h>

#include "tests/support/NetworkNamespace.h"
#endif

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Stored(uint16_t checksum) { return {static_cast<uint8_t>(checksum), static_cast<uint8_t>(checksum >> 8)}; }

// `icmpBytes` of an ICMP message of `type` with identifier `id`, behind an IPv4 header of
// `headerWords` words (none: the datagram socket's form).
Bytes Reply(int headerWords, uint8_t type, uint16_t id, size_t icmpBytes = 8) {
  Bytes reply(headerWords * 4u + 8, 0);
  if (headerWords > 0) reply[0] = static_cast<uint8_t>(0x40 | headerWords);
  reply[headerWords * 4u] = type;
  reply[headerWords * 4u + 4] = static_cast<uint8_t>(id);
  reply[headerWords * 4u + 5] = static_cast<uint8_t>(id >> 8);
  reply.resize(headerWords * 4u + icmpBytes);
  return reply;
}

TEST(PingTest, ChecksumAndTheRequestFieldByField) {
  const Bytes rfcExample{0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
  EXPECT_EQ(Stored(CPing::Checksum(rfcExample.data(), rfcExample.size())), (Bytes{0x22, 0x0d}));
  // Computed elsewhere with big-endian words: a 44-byte request and one of odd length.
  Bytes request{8, 0, 0, 0, 0x34, 0x12, 0, 0, 0x04, 0x03, 0x02, 0x01}, odd{8, 0, 0, 0, 0xcd, 0xab, 0, 0};
  request.resize(44, 0x45);
  odd.resize(21, 0xff);
  EXPECT_EQ(Stored(CPing::Checksum(request.data(), request.size())), (Bytes{0x69, 0x95}));
  EXPECT_EQ(Stored(CPing::Checksum(odd.data(), odd.size())), (Bytes{0x2b, 0x53}));

  Bytes packet(44, 0);
  const uint32_t before = platform::TickCount();
  CPing().BuildEchoRequest(packet.data(), packet.size());
  const uint32_t tick = packet[8] | packet[9] << 8 | packet[10] << 16 | uint32_t{packet[11]} << 24;
  EXPECT_LE(tick - before, platform::TickCount() - before);
  const auto pid = static_cast<uint16_t>(platform::CurrentProcessId());
  const Bytes header{8, 0, packet[2], packet[3], uint8_t(pid), uint8_t(pid >> 8), 0, 0};
  EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 8), header);
  EXPECT_EQ(Bytes(packet.begin() + 12, packet.end()), Bytes(32, 0x45));
  EXPECT_EQ(CPing::Checksum(packet.data(), packet.size()), 0);  // the stored checksum makes it verify
}

// 127.0.0.1 as the socket calls store it, in network byte order.
uint32_t Loopback() {
  const uint8_t bytes[4] = {127, 0, 0, 1};
  uint32_t address;
  std::memcpy(&address, bytes, sizeof address);
  return address;
}

TEST(PingTest, DecodeReplyTakesOnlyAnEchoReplyWithOurIdentifierInEitherForm) {
  const EchoReplyForm raw{true, 0xbeef}, datagram{false, 0xbeef};
  const struct {
    Bytes buffer;
    EchoReplyForm form;
    int decoded;
  } cases[] = {
      {Reply(5, 0, 0xbeef), raw, 1},      {Reply(6, 0, 0xbeef), raw, 1},  // an IPv4 header with options
      {Reply(0, 0, 0xbeef), datagram, 1}, {Reply(5, 0, 0xbeef, 7), raw, 0},  // too short
      {Reply(0, 0, 0xbeef, 7), datagram, 0}, {{}, datagram, 0},
      {Reply(5, 3, 0xbeef), raw, 0},      {Reply(0, 8, 0xbeef), datagram, 0},  // not an echo reply
      {Reply(5, 0, 0xbeee), raw, 0},      {Reply(0, 0, 0xefbe), datagram, 0},  // another program's
  };
  for (const auto& c : cases) {
    CPing ping;
    EXPECT_EQ(ping.DecodeReply(c.buffer.data(), c.buffer.size(), Loopback(), c.form), c.decoded)
        << testing::PrintToString(c.buffer);
  }
}

#ifndef _WIN32  // network namespaces and capabilities are Linux's
// In a network of its own the test can switch echo replies off and give up the raw-socket
// privilege (loopback in the machine's own network answers in LatencyProbeTest). The
// diagnostics are on, and appear on standard error.
TEST(PingTest, TimeOutTheUnprivilegedSocketAndNoSocket) {
  if (!std::getenv(kOwnNetworkVariable)) {
    const ProgramResult child = RunInOwnNetwork({"SOLANE_DEBUG_OUTPUT=1"});
    SOLANE_REQUIRE(child.output.find("[  SKIPPED ]") == std::string::npos, child.output);
    EXPECT_EQ(child.exitCode, 0) << child.output;
    EXPECT_NE(child.output.find("CPing::Ping2, timeout occured while awaiting recvfrom\n"), std::string::npos);
    EXPECT_NE(child.output.find("socket() failed\n"), std::string::npos);
    return;
  }
  SOLANE_REQUIRE(EnterOwnNetwork(), "no network namespace of our own");
  CPing ping;
  PingReply reply;
  EXPECT_GE(ping.Ping2("127.0.0.1", reply, 1000, 32), 0) << ping.GetError();  // the raw socket
  ASSERT_TRUE(SetNetworkSetting("ipv4/icmp_echo_ignore_all", "1"));
  const uint32_t start = platform::TickCount();
  EXPECT_EQ(ping.Ping2("127.0.0.1", reply, 1000, 32), CPing::kTimedOut);
  const uint32_t waited = platform::TickCount() - start;
  EXPECT_TRUE(waited >= 1000 && waited < 1500) << waited;

  ASSERT_TRUE(SetNetworkSetting("ipv4/icmp_echo_ignore_all", "0"));
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct caps[2] = {};
  ASSERT_EQ(syscall(SYS_capget, &header, caps), 0);
  caps[0].effective &= ~(1u << CAP_NET_RAW);
  ASSERT_EQ(syscall(SYS_capset, &header, caps), 0);
  ASSERT_TRUE(SetNetworkSetting("ipv4/ping_group_range", "0 0"));
  EXPECT_GE(ping.Ping2("127.0.0.1", reply, 1000, 32), 0) << ping.GetError();  // the datagram socket
  ASSERT_TRUE(SetNetworkSetting("ipv4/ping_group_range", "1 0"));
  EXPECT_EQ(ping.Ping2("127.0.0.1", reply, 1000, 32), CPing::kFailed);
  EXPECT_EQ(ping.GetError(), EACCES);
}
#endif

}  // namespace
