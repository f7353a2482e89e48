// Server names as installation paths: letter case at every level, and links that lead elsewhere.

#include "platform/Path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <utility>

#include "tests/support/ScratchDir.h"

namespace {

TEST(PathTest, ResolvePathFindsEveryLevelRegardlessOfCase) {
  ScratchDir scratch;
  scratch.Write("Data/Sub/File.txt", "x");
  scratch.Write("Data/Other.SPF", "x");
  const std::pair<const char*, const char*> cases[] = {
      {"data/sub/file.TXT", "Data/Sub/File.txt"},
      {"DATA\\SUB\\new.txt", "Data/Sub/new.txt"},
      {"data/missing/deeper/other.spf", "Data/missing/deeper/other.spf"},
      {"Data//sub/./FILE.txt", "Data/Sub/./File.txt"},
      {"data/other.spf/below", "Data/Other.SPF/below"},
  };
  // One pass's shared memo gives what fresh look-ups give.
  platform::LookupMemo memo;
  for (const auto& [name, expected] : cases) {
    const std::string wanted = scratch.PathOf(name);
    EXPECT_EQ(platform::ResolvePath(wanted), scratch.PathOf(expected)) << name;
    EXPECT_EQ(platform::ResolvePath(wanted, &memo), scratch.PathOf(expected)) << name;
  }
}

// A link planted in the installation never carries a path elsewhere; one that stays inside does.
TEST(PathTest, StaysInsideFollowsLinksOutOfTheBase) {
  ScratchDir scratch;
  scratch.Write("Inst/Pack.SPF", "x");
  scratch.Write("Inst/Sub/Kept.SPF", "x");
  scratch.Write("Outside/victim", "x");
  ASSERT_EQ(symlink("../Outside", scratch.PathOf("Inst/Out").c_str()), 0);
  ASSERT_EQ(symlink("../Outside/victim", scratch.PathOf("Inst/Escape.SPF").c_str()), 0);
  ASSERT_EQ(symlink("Sub", scratch.PathOf("Inst/In").c_str()), 0);
  const std::pair<const char*, bool> cases[] = {
      {"Inst/Pack.SPF", true},           {"Inst/Sub/new/deeper.SPF", true}, {"Inst/In/Kept.SPF", true},
      {"Inst/In/new.SPF", true},         {"Inst/Out/victim", false},        {"Inst/Out/missing/new", false},
      {"Inst/Escape.SPF", false},        {"Inst/In", false},                {"Inst/Sub/../../Outside/victim", false},
      {"Inst/Pack.SPF/below", true},     {"Inst/../Outside/new", false},    {"Outside/victim", false},
  };
  platform::LookupMemo memo;
  for (platform::LookupMemo* shared : {static_cast<platform::LookupMemo*>(nullptr), &memo}) {
    for (const std::string& base : {scratch.PathOf("Inst"), scratch.PathOf("Inst") + "/"})
      for (const auto& [name, inside] : cases)
        EXPECT_EQ(platform::StaysInside(base, scratch.PathOf(name), shared), inside) << base << " " << name;
    EXPECT_FALSE(platform::StaysInside(scratch.PathOf("Gone"), scratch.PathOf("Gone/new.SPF"), shared));
    for (const auto& [name, folder] : {std::pair{"Inst/Sub", true}, {"Inst/In", true}, {"Inst/Escape.SPF", false},
                                       {"Inst/Pack.SPF", false}, {"Gone", false}})
      EXPECT_EQ(platform::IsFolder(scratch.PathOf(name), shared), folder) << name;
  }
}

}  // namespace
