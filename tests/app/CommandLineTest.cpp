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
  for (const auto& c : cases) {
    CCommandLine table;
    table.Parse(c.line);
    EXPECT_EQ(table.Get(c.key), c.value ? std::optional<std::string>(c.value) : std::nullopt) << c.line;
  }
}

TEST(CommandLine, ParseClearsTheTable) {
  CCommandLine table;
  table.Parse("/LOCALE:USA /");
  table.Parse("/PUBLISHER:VORN /");
  EXPECT_FALSE(table.Get("/LOCALE:"));
  EXPECT_EQ(table.GetOrEmpty("/PUBLISHER:"), "VORN");
}

}  // namespace
