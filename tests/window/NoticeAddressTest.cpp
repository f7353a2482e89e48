// The notice page's address rule: web pages only, whatever the letter case.

#include "window/NoticeAddress.h"

#include <gtest/gtest.h>

#include <string_view>

namespace {

TEST(NoticeAddressTest, OnlyHttpAndHttpsAddressesAreShown) {
  const struct {
    std::string_view address;
    bool allowed;
  } cases[] = {
      {"http://127.0.0.1/notice.html", true},
      {"HTTPS://127.0.0.1/", true},
      {"hTtP://x", true},
      {"file:///etc/passwd", false},
      {"javascript:alert(1)", false},
      {"data:text/html,<p>", false},
      {" http://127.0.0.1/", false},  // a browser would skip the blank and read a scheme unchecked
      {"http:/127.0.0.1/", false},
      {"http", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsNoticeAddressAllowed(c.address), c.allowed) << c.address;
}

}  // namespace
