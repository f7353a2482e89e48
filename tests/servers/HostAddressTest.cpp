#include <gtest/gtest.h>

#include "servers/HostAddress.h"

namespace {

TEST(HostAddress, HttpHostCarriesTheProfilePort) {
  const struct {
    const char* host;
    const char* address;
    const char* port;
    const char* expected;
  } cases[] = {
      {"127.0.0.1", "127.0.0.1", "8080", "127.0.0.1:8080"},
      {"patch.example", "192.0.2.7", "8080", "192.0.2.7:8080"},
      {"patch.example", "2001:db8::7", "8080", "[2001:db8::7]:8080"},
      // HTTP's own port, and values that are no port, leave the text as it was.
      {"127.0.0.1", "127.0.0.1", "80", "127.0.0.1"},
      {"127.0.0.1", "127.0.0.1", "", "127.0.0.1"},
      {"127.0.0.1", "127.0.0.1", "0", "127.0.0.1"},
      {"127.0.0.1", "127.0.0.1", "70000", "127.0.0.1"},
      {"127.0.0.1", "127.0.0.1", "80x", "127.0.0.1"},
      // A host text with its own port or scheme is the one the player wrote.
      {"127.0.0.1:9000", "127.0.0.1:9000", "8080", "127.0.0.1:9000"},
      {"http://patch.example", "http://patch.example", "8080", "http://patch.example"},
      {"", "", "8080", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(HttpHostText(c.host, c.address, c.port), c.expected) << c.host << " " << c.port;
}

}  // namespace
