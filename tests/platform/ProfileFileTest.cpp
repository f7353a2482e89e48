#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "tests/platform/ScratchFolder.h"

using namespace platform;
using testing_support::ReadFile;
using testing_support::ScratchFolder;
using testing_support::WriteFile;

namespace {

struct ReadCase {
  const char* text;
  const char* section;
  const char* key;
  const char* expected;
};

struct WriteCase {
  const char* before;
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  return names;
}

}  // namespace

TEST(ProfileFileTest, ReadsValuesAsTheLauncherFilesWriteThem) {
  const ReadCase cases[] = {
      {"[S]\r\nKey=Value\r\n", "S", "Key", "Value"},
      {"[S]\nKey=Value\n", "S", "Key", "Value"},
      {"[SolaneLauncher.CFG]\r\nscreenmode=FULL\r\n", "solanelauncher.cfg", "ScreenMode", "FULL"},
      {"  [ S ]  \r\n\t Key \t=\t  spaced value \t\r\n", "S", "Key", "spaced value"},
      {"[S]\r\nKey=\"  quoted  \"\r\n", "S", "Key", "  quoted  "},
      {"[S]\r\nKey='single'\r\n", "S", "Key", "single"},
      {"[S]\r\nKey=\"mismatched'\r\n", "S", "Key", "\"mismatched'"},
      {"[S]\r\nKey=\"\"\"\r\n", "S", "Key", "\""},
      {"[S]\r\nKey=a=b\r\n", "S", "Key", "a=b"},
      {"[S]\r\nKey=\r\n", "S", "Key", ""},
      {"[S]\r\nKey=last line without ending", "S", "Key", "last line without ending"},
      {"\xEF\xBB\xBF[S]\r\nKey=bom\r\n", "S", "Key", "bom"},
      {"[S]\r\n;Key=commented\r\nKey=real\r\n", "S", "Key", "real"},
      {"[S]\r\nKey=first\r\nKey=second\r\n", "S", "Key", "first"},
      {"[S]\r\nOther=1\r\n[T]\r\nKey=in T\r\n[S]\r\nKey=second S\r\n", "S", "Key", "second S"},
      {"Key=before any section\r\n[S]\r\n", "S", "Key", "<default>"},
      {"[T]\r\nKey=other section\r\n", "S", "Key", "<default>"},
      {"[S]\r\nKeyX=near miss\r\n", "S", "Key", "<default>"},
      {"[S\r\nKey=unclosed header\r\n", "S", "Key", "<default>"},
      {"", "S", "Key", "<default>"},
  };
  ScratchFolder folder;
  const std::string file = folder / "Test.CFG";
  for (const ReadCase& c : cases) {
    WriteFile(file, c.text);
    EXPECT_EQ(GetProfileString(file, c.section, c.key, "<default>"), c.expected) << "text: " << c.text;
  }
  EXPECT_EQ(GetProfileString(folder / "Missing.CFG", "S", "Key", "fallback"), "fallback");
}

TEST(ProfileFileTest, FindsTheFileIgnoringCaseAndBackslashes) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder / "Game");
  WriteFile(folder / "Game/SERVER.DAT", "[S]\r\nKey=found\r\n");
  const std::string asWindowsWritesIt = folder.path() + "\\game\\Server.dat";
  EXPECT_EQ(GetProfileString(asWindowsWritesIt, "S", "Key", ""), "found");

  ASSERT_TRUE(WriteProfileString(asWindowsWritesIt, "S", "Key", "changed"));
  EXPECT_EQ(FolderEntries(folder / "Game"), std::vector<std::string>{"SERVER.DAT"});
  EXPECT_EQ(ReadFile(folder / "Game/SERVER.DAT"), "[S]\r\nKey=changed\r\n");
}

TEST(ProfileFileTest, WriteChangesOnlyItsOwnLine) {
  const WriteCase cases[] = {
      // The key keeps its spelling, spacing and the file's comments and odd lines.
      {"; settings\r\n[SolaneLauncher.CFG]\r\n  screenMode =  Window   \r\nRun=1\r\nodd line\r\n\r\n",
       "SOLANELAUNCHER.CFG", "ScreenMode", "FULL",
       "; settings\r\n[SolaneLauncher.CFG]\r\n  screenMode =  FULL\r\nRun=1\r\nodd line\r\n\r\n"},
      {"[S]\nA=1\nB=2\n", "S", "A", "changed", "[S]\nA=changed\nB=2\n"},
      {"[S]\r\nA =   old\r\n", "S", "A", " v", "[S]\r\nA = v\r\n"},
      {"[S]\r\nA=1", "S", "A", "2", "[S]\r\nA=2"},
      // A new key goes after the section's last entry, before blank lines and the next section.
      {"[S]\r\nA=1\r\n\r\n; next\r\n[T]\r\nB=2\r\n", "S", "New", "v",
       "[S]\r\nA=1\r\nNew=v\r\n\r\n; next\r\n[T]\r\nB=2\r\n"},
      {"[S]\nA=1\n[T]\n", "S", "New", "v", "[S]\nA=1\nNew=v\n[T]\n"},
      {"[S]\r\nA=1", "S", "New", "v", "[S]\r\nA=1\r\nNew=v\r\n"},
      {"[S]\r\n", "S", "New", "v", "[S]\r\nNew=v\r\n"},
      // A new section goes at the end, with the file's own line ending.
      {"[S]\nA=1\n", "T", "B", "2", "[S]\nA=1\n[T]\nB=2\n"},
      {"[S]\r\nA=1", "T", "B", "2", "[S]\r\nA=1\r\n[T]\r\nB=2\r\n"},
      {"", "T", "B", "2", "[T]\r\nB=2\r\n"},
      {"[S]\r\nA=1\r", "T", "B", "2", "[S]\r\nA=1\r\n[T]\r\nB=2\r\n"},
      // A key that exists only in a later copy of the section is changed there.
      {"[S]\r\nA=1\r\n[S]\r\nB=old\r\n", "s", "b", "new", "[S]\r\nA=1\r\n[S]\r\nB=new\r\n"},
  };
  ScratchFolder folder;
  const std::string file = folder / "Test.CFG";
  for (const WriteCase& c : cases) {
    WriteFile(file, c.before);
    ASSERT_TRUE(WriteProfileString(file, c.section, c.key, c.value)) << c.before;
    EXPECT_EQ(ReadFile(file), c.after) << "before: " << c.before;
    const std::string_view value = c.value;
    EXPECT_EQ(GetProfileString(file, c.section, c.key, "<default>"), value.substr(value.find_first_not_of(' ')));
  }
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"Test.CFG"}) << "no temporary file is left";
}

TEST(ProfileFileTest, CreatesAMissingFileButNotAMissingFolder) {
  ScratchFolder folder;
  ASSERT_TRUE(WriteProfileString(folder / "New.CFG", "SolaneLauncher.CFG", "ScreenMode", "WINDOW"));
  EXPECT_EQ(ReadFile(folder / "New.CFG"), "[SolaneLauncher.CFG]\r\nScreenMode=WINDOW\r\n");
  EXPECT_FALSE(WriteProfileString(folder / "NoSuchFolder/New.CFG", "S", "K", "v"));
}

TEST(ProfileFileTest, RefusesEntriesThatWouldCorruptOtherLines) {
  ScratchFolder folder;
  const std::string file = folder / "Test.CFG";
  const std::string original = "[S]\r\nKey=safe\r\n";
  WriteFile(file, original);
  const WriteCase refused[] = {
      {"", "S", "Key", "two\r\n[Injected]", ""},
      {"", "S", "Key", "bare\nline feed", ""},
      {"", "S]x", "Key", "v", ""},
      {"", "S", "K=ey", "v", ""},
      {"", "S", "  ", "v", ""},
      {"", "S", ";Key", "v", ""},
      {"", "S", "[Key", "v", ""},
  };
  for (const WriteCase& c : refused)
    EXPECT_FALSE(WriteProfileString(file, c.section, c.key, c.value)) << c.section << " / " << c.key;
  EXPECT_FALSE(WriteProfileString(file, "S", "Key", std::string_view("nul\0byte", 8)));
  EXPECT_EQ(ReadFile(file), original);
}

TEST(ProfileFileTest, StructsRoundTripAndRejectDamage) {
  ScratchFolder folder;
  const std::string file = folder / "SERVER.DAT";

  // The stored form: upper-case pairs, then the 8-bit sum (0x01 + 0x02 + 0xFF = 0x102 -> 02).
  const uint8_t known[] = {0x01, 0x02, 0xFF};
  ASSERT_TRUE(WriteProfileStruct(file, "SERVER.DAT", "Server", known, sizeof known));
  EXPECT_EQ(ReadFile(file), "[SERVER.DAT]\r\nServer=0102FF02\r\n");

  for (size_t size : {size_t{0}, size_t{1}, size_t{268}, size_t{780}}) {
    std::vector<uint8_t> block(size);
    for (size_t i = 0; i < size; ++i) block[i] = static_cast<uint8_t>(i * 7 + 3);
    ASSERT_TRUE(WriteProfileStruct(file, "SERVER.DAT", "Block", block.data(), block.size()));
    EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Block", size), block) << size;
    EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Block", size + 1), std::nullopt) << size;
    if (size > 0) EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Block", size - 1), std::nullopt) << size;
  }

  const char* damaged[] = {"0102FF03", "0102FF0", "0102FF022", "0102GF02", "", "01 02FF02"};
  for (const char* text : damaged) {
    ASSERT_TRUE(WriteProfileString(file, "SERVER.DAT", "Server", text));
    EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Server", 3), std::nullopt) << text;
  }
  ASSERT_TRUE(WriteProfileString(file, "SERVER.DAT", "Server", "0102ff02"));
  EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Server", 3), std::vector<uint8_t>(known, known + 3));
  EXPECT_EQ(GetProfileStruct(file, "SERVER.DAT", "Missing", 3), std::nullopt);
  EXPECT_EQ(GetProfileStruct(folder / "Missing.DAT", "SERVER.DAT", "Server", 3), std::nullopt);
}

TEST(ProfileFileTest, ConcurrentWritersLoseNothing) {
  ScratchFolder folder;
  const std::string file = folder / "Shared.CFG";
  constexpr int kWrites = 40;
  auto writer = [&](const std::string& prefix) {
    for (int i = 0; i < kWrites; ++i)
      EXPECT_TRUE(WriteProfileString(file, "S", prefix + std::to_string(i), std::to_string(i)));
  };
  std::thread first(writer, "a");
  std::thread second(writer, "b");
  first.join();
  second.join();
  for (const char* prefix : {"a", "b"})
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(GetProfileString(file, "S", prefix + std::to_string(i), "lost"), std::to_string(i));
}
