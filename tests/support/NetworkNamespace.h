#pragma once
// ICMP tests that change the network (replies off, the ping group range, privileges dropped) run
// again as a process of their own in a network namespace that nothing else uses. Needs root.

#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "tests/support/RunProgram.h"

// Set in the process that RunInOwnNetwork starts.
inline constexpr const char* kOwnNetworkVariable = "SOLANE_TEST_OWN_NETWORK";

// The running test again, alone, in a new process with `environment` added.
inline ProgramResult RunInOwnNetwork(std::vector<std::string> environment = {}) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  environment.push_back(std::string(kOwnNetworkVariable) + "=1");
  return RunProgram({"/proc/self/exe", std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()},
                    environment);
}

// In that process: the calling thread, and the threads it starts later, move into a new network
// namespace with loopback up. False when the system refuses.
inline bool EnterOwnNetwork() {
  if (unshare(CLONE_NEWNET) != 0) return false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq loopback{};
  std::strncpy(loopback.ifr_name, "lo", IFNAMSIZ - 1);
  loopback.ifr_flags = IFF_UP | IFF_LOOPBACK | IFF_RUNNING;
  const bool up = fd >= 0 && ioctl(fd, SIOCSIFFLAGS, &loopback) == 0;
  if (fd >= 0) close(fd);
  return up;
}

// A setting of the current network namespace, `name` below /proc/sys/net/.
inline bool SetNetworkSetting(const std::string& name, const std::string& value) {
  std::ofstream setting("/proc/sys/net/" + name);
  return static_cast<bool>(setting << value << std::flush);
}
