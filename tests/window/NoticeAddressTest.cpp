// The notice page's address rule (web pages only, whatever the letter case) and when it has a
// page to show over its placeholder.

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

TEST(NoticeAddressTest, OnlyAnAllowedPageThatLoadedWithoutAnErrorReplacesThePlaceholder) {
  NoticeLoad load;
  EXPECT_FALSE(load.Navigating("file:///etc/passwd", true));
  load.Loaded("about:blank");
  EXPECT_FALSE(load.HasLoaded()) << "the empty page a refused address leaves";
  ASSERT_TRUE(load.Navigating("http://127.0.0.1/", true));
  load.Failed();
  load.Loaded("http://127.0.0.1/");
  EXPECT_FALSE(load.HasLoaded()) << "a failed load ends on an error page";
  ASSERT_TRUE(load.Navigating("http://127.0.0.1/frame", false));
  load.Loaded("http://127.0.0.1/");
  EXPECT_FALSE(load.HasLoaded()) << "a frame's navigation does not clear the page's failure";
  ASSERT_TRUE(load.Navigating("https://127.0.0.1/", true));
  load.Loaded("https://127.0.0.1/");
  EXPECT_TRUE(load.HasLoaded());
}

}  // namespace
