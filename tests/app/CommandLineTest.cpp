#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

struct Expectation {
  const char* line;
  const char* key;
  const char* value;  // nullptr: the key is absent
};

TEST(CommandLine, SwitchesCountOnlyWhenClosedBySpaceSlash) {
  const Expectation cases[] = {
      {"/LOCALE:JAPAN /PUBLISHER:KESTRIL", "/LOCALE:", "JAPAN"},
      {"/LOCALE:JAPAN /PUBLISHER:KESTRIL", "/PUBLISHER:", nullptr},
      {"/LOCALE:JAPAN /PUBLISHER:KESTRIL /", "/PUBLISHER:", "KESTRIL"},
      {"/locale:JAPAN /", "/LOCALE:", nullptr},
      {"/locale:JAPAN /", "/locale:", "JAPAN"},
      {"//LOCALE:CHINA /", "/LOCALE:", "CHINA"},
      {"/LOCALE:KOREA /LOCALE:JAPAN /", "/LOCALE:", "KOREA"},
      {"/EXEC:SolaneLauncher-VANTIK /WEBARG:a b c /", "/WEBARG:", "a b c"},
      {"/TO:/opt/Solane Games/SolaneLauncher /EXEC:x /", "/TO:", "/opt/Solane Games/SolaneLauncher"},
      {"/WEBARG:http://a/b/c /", "/WEBARG:", "http:/a/b/c"},
      {"text before /LOCALE:USA /", "/LOCALE:", "USA"},
      {"/LOCALE: /", "/LOCALE:", nullptr},
      {"/NOCOLON /LOCALE:USA /", "/LOCALE:", "USA"},
      {"", "/LOCALE:", nullptr},
      {"/", "/LOCALE:", nullptr},
      {"///LOCALE:KOREA /", "//LOCALE:", "KOREA"},
  };
  for (const Expectation& c : cases) {
    CCommandLine table;
    table.Parse(c.line);
    auto value = table.Get(c.key);
    if (c.value)
      EXPECT_EQ(value.value_or("<absent>"), c.value) << "line: " << c.line;
    else
      EXPECT_FALSE(value.has_value()) << "line: " << c.line << " gave " << value.value_or("");
  }
}

TEST(CommandLine, ParseClearsTheTable) {
  CCommandLine table;
  table.Parse("/LOCALE:USA /");
  table.Parse("/PUBLISHER:VORN /");
  EXPECT_FALSE(table.Get("/LOCALE:"));
  EXPECT_EQ(table.GetOrEmpty("/PUBLISHER:"), "VORN");
  EXPECT_EQ(table.Size(), 1u);
}

}  // namespace
