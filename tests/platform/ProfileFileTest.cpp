#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/support/ScratchDir.h"

using namespace platform;

namespace {

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

TEST(ProfileFileTest, ReadsValuesAsTheLauncherFilesWriteThem) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"[S]\nKey=Value\n", "Value"},
      {"  [ S ]  \r\n\t Key \t=\t  spaced value \t\r\n", "spaced value"},
      {"[S]\r\nKey=\"  quoted  \"\r\n", "  quoted  "},
      {"[S]\r\nKey=a=b", "a=b"},
      {"\xEF\xBB\xBF[S]\r\nKey=bom\r\n", "bom"},
      {"[S]\r\n;Key=commented\r\nKey=first\r\nKey=second\r\n", "first"},
      {"[S]\r\nOther=1\r\n[T]\r\nKey=in T\r\n[S]\r\nKey=second S\r\n", "second S"},
      {"Key=before any section\r\n[S]\r\n", "<default>"},
      {"[S]\r\nKeyX=near miss\r\n", "<default>"},
      {"[S\r\nKey=unclosed header\r\n", "<default>"},
  };
  ScratchDir folder;
  for (const auto& c : cases) {
    const std::string file = folder.Write("Test.CFG", c.text);
    EXPECT_EQ(GetProfileString(file, "S", "Key", "<default>"), c.expected) << "text: " << c.text;
  }
  EXPECT_EQ(GetProfileString(folder.PathOf("Missing.CFG"), "S", "Key", "fallback"), "fallback");
}

TEST(ProfileFileTest, FindsTheFileIgnoringCaseAndBackslashes) {
  ScratchDir folder;
  folder.Write("Game/SERVER.DAT", "[S]\r\nKey=found\r\n");
  const std::string asWindowsWritesIt = folder.Path() + "\\game\\Server.dat";
  EXPECT_EQ(GetProfileString(asWindowsWritesIt, "S", "Key", ""), "found");
  ASSERT_TRUE(WriteProfileString(asWindowsWritesIt, "S", "Key", "changed"));
  EXPECT_EQ(FolderEntries(folder.PathOf("Game")), std::vector<std::string>{"SERVER.DAT"});
  EXPECT_EQ(folder.Read("Game/SERVER.DAT"), "[S]\r\nKey=changed\r\n");
}

TEST(ProfileFileTest, WriteChangesOnlyItsOwnLine) {
  const struct {
    const char* before;
    const char* section;
    const char* key;
    const char* after;
  } cases[] = {
      // The key keeps its spelling, spacing and the file's comments and odd lines.
      {"; settings\r\n[SolaneLauncher.CFG]\r\n  screenMode =  Window   \r\nRun=1\r\nodd line\r\n\r\n",
       "SOLANELAUNCHER.CFG", "ScreenMode",
       "; settings\r\n[SolaneLauncher.CFG]\r\n  screenMode =  v\r\nRun=1\r\nodd line\r\n\r\n"},
      {"[S]\r\nA=1", "S", "A", "[S]\r\nA=v"},
      // A new key goes after the section's last entry, before blank lines and the next section.
      {"[S]\r\nA=1\r\n\r\n; next\r\n[T]\r\nB=2\r\n", "S", "New", "[S]\r\nA=1\r\nNew=v\r\n\r\n; next\r\n[T]\r\nB=2\r\n"},
      {"[S]\r\nA=1", "S", "New", "[S]\r\nA=1\r\nNew=v\r\n"},
      // A new section goes at the end, with the file's own line ending.
      {"[S]\nA=1\n", "T", "B", "[S]\nA=1\n[T]\nB=v\n"},
      {"", "T", "B", "[T]\r\nB=v\r\n"},
      // A key that exists only in a later copy of the section is changed there.
      {"[S]\r\nA=1\r\n[S]\r\nB=old\r\n", "s", "b", "[S]\r\nA=1\r\n[S]\r\nB=v\r\n"},
  };
  ScratchDir folder;
  for (const auto& c : cases) {
    const std::string file = folder.Write("Test.CFG", c.before);
    ASSERT_TRUE(WriteProfileString(file, c.section, c.key, "v")) << c.before;
    EXPECT_EQ(folder.Read("Test.CFG"), c.after) << "before: " << c.before;
  }
  EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"Test.CFG"}) << "no temporary file is left";
  EXPECT_FALSE(WriteProfileString(folder.PathOf("NoSuchFolder/New.CFG"), "S", "K", "v"));
}

TEST(ProfileFileTest, RefusesEntriesThatWouldCorruptOtherLines) {
  ScratchDir folder;
  const std::string original = "[S]\r\nKey=safe\r\n";
  const std::string file = folder.Write("Test.CFG", original);
  for (const auto& [section, key, value] : {std::tuple{"S", "Key", "two\r\n[Injected]"}, {"S", "Key", "bare\nline"},
                                            {"S]x", "Key", "v"}, {"S", "K=ey", "v"}, {"S", " ", "v"}, {"S", ";Key", "v"}})
    EXPECT_FALSE(WriteProfileString(file, section, key, value)) << section << " / " << key;
  EXPECT_FALSE(WriteProfileString(file, "S", "Key", std::string_view("nul\0byte", 8)));
  EXPECT_EQ(folder.Read("Test.CFG"), original);
}

TEST(ProfileFileTest, StructsRoundTripAndRejectDamage) {
  ScratchDir folder;
  const std::string file = folder.PathOf("SERVER.DAT");
  // The stored form: upper-case pairs, then the 8-bit sum (0x01 + 0x02 + 0xFF = 0x102 -> 02).
  const uint8_t known[] = {0x01, 0x02, 0xFF};
  ASSERT_TRUE(WriteProfileStruct(file, "SERVER.DAT", "Server", known, sizeof known));
  EXPECT_EQ(folder.Read("SERVER.DAT"), "[SERVER.DAT]\r\nServer=0102FF02\r\n");
  EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Server", 3), std::vector<uint8_t>(known, known + 3));
  EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Server", 2), std::nullopt);

  for (const char* damaged : {"0102FF03", "0102FF0", "0102FF022", "0102GF02", ""}) {
    ASSERT_TRUE(WriteProfileString(file, "SERVER.DAT", "Server", damaged));
    EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Server", 3), std::nullopt) << damaged;
  }
}

TEST(ProfileFileTest, ConcurrentWritersLoseNothing) {
  ScratchDir folder;
  const std::string file = folder.PathOf("Shared.CFG");
  constexpr int kWrites = 40;
  auto writer = [&](const std::string& prefix) {
    for (int i = 0; i < kWrites; ++i) EXPECT_TRUE(WriteProfileString(file, "S", prefix + std::to_string(i), "v"));
  };
  std::thread first(writer, "a");
  std::thread second(writer, "b");
  first.join();
  second.join();
  for (const char* prefix : {"a", "b"})
    for (int i = 0; i < kWrites; ++i) EXPECT_EQ(GetProfileString(file, "S", prefix + std::to_string(i), "lost"), "v");
}

}  // namespace
