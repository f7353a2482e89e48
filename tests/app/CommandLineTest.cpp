#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, SwitchesCountOnlyWhenClosedBySpaceSlash) {
  const struct {
    const char* line;
    const char* key;
    const char* value;  // nullptr: the key is absent
  } cases[] = {
      {"/LOCALE:JAPAN /PUBLISHER:KESTRIL", "/LOCALE:", "JAPAN"},
      {"/LOCALE:JAPAN /PUBLISHER:KESTRIL", "/PUBLISHER:", nullptr},
      {"/locale:JAPAN /", "/LOCALE:", nullptr},
      {"//LOCALE:CHINA /", "/LOCALE:", "CHINA"},
      {"/LOCALE:KOREA /LOCALE:JAPAN /", "/LOCALE:", "KOREA"},
      {"/EXEC:SolaneLauncher-VANTIK /WEBARG:a b c /", "/WEBARG:", "a b c"},
      {"/TO:/opt/Solane Games/SolaneLauncher /EXEC:x /", "/TO:", "/opt/Solane Games/SolaneLauncher"},
      {"/WEBARG:http://a/b/c /", "/WEBARG:", "http:/a/b/c"},
      {"text before /LOCALE:USA /", "/LOCALE:", "USA"},
      {"/LOCALE: /", "/LOCALE:", nullptr},
      {"/", "/LOCALE:", nullptr},
  };
  // One table for every line: each Parse starts afresh, so no earlier line's switch is found.
  CCommandLine table;
  for (const auto& c : cases) {
    table.Parse(c.line);
    EXPECT_EQ(table.Get(c.key), c.value ? std::optional<std::string>(c.value) : std::nullopt) << c.line;
    EXPECT_EQ(table.GetOrEmpty(c.key), c.value ? c.value : "") << c.line;
  }
}

}  // namespace
