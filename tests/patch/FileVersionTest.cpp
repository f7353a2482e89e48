#include "patch/FileVersion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "patch/VersionNoteDefine.h"
#include "platform/Path.h"
#include "tests/support/Requirement.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/WindowsProgramImage.h"

// This test program carries a version note of its own, read back below.
SOLANE_DEFINE_VERSION_NOTE(3, 14, 15, 92);

namespace {

std::optional<VersionWords> FromImage(const std::string& image, size_t length = std::string::npos) {
  return ReadVersionWords(std::span(reinterpret_cast<const uint8_t*>(image.data()), std::min(length, image.size())));
}

void ExpectWords(const std::optional<VersionWords>& words, uint32_t high, uint32_t low) {
  ASSERT_TRUE(words.has_value());
  EXPECT_EQ(words->high, high);
  EXPECT_EQ(words->low, low);
}

TEST(FileVersionTest, ProgramsCarryTheirVersion) {
  ExpectWords(ReadVersionWords(platform::ExecutablePath()), 3 << 16 | 14, 15 << 16 | 92);
#ifndef _WIN32  // the Windows launcher is built on demand only
  const std::string launcher = std::string(SOLANE_BINARY_DIR) + "/SolaneLauncher";
  SOLANE_REQUIRE(std::filesystem::exists(launcher), "SolaneLauncher is not built");
  ExpectWords(ReadVersionWords(launcher), SOLANE_VERSION_MAJOR << 16 | SOLANE_VERSION_MINOR,
              SOLANE_VERSION_PATCH << 16 | SOLANE_VERSION_TWEAK);
#endif
}

// Cut, damaged and foreign files have no version, and stamping leaves them as they were.
// Robustness beyond these is the fuzzer's.
TEST(FileVersionTest, DamagedAndForeignFilesHaveNoVersion) {
  const std::string pe = WindowsProgram(false, 1, 2);
  for (size_t length = 0; length < pe.size(); ++length) EXPECT_FALSE(FromImage(pe, length)) << "cut at " << length;
  for (const auto& [at, value] : {std::pair{kVersionTypeTarget, 0x80000000u}, {kDataSize, 0x7fffffffu}}) {
    std::string bad = pe;
    Put(bad, at, value);  // back to the root; past the end
    EXPECT_FALSE(FromImage(bad)) << at;
  }
  ScratchDir folder;
  for (const std::string& foreign : {std::string(), std::string("MZ"), std::string(4096, 'x'), std::string("\x7f" "ELF")}) {
    const std::string path = folder.Write("foreign", foreign);
    EXPECT_FALSE(ReadVersionWords(path));
    EXPECT_FALSE(StampFileVersion(path, 1, 1));
    EXPECT_EQ(FileBytes(path), foreign);
  }
}

// Both Windows image kinds carry a version resource that reads back, stamped or not.
TEST(FileVersionTest, ReadAndStampRoundTrip) {
  ScratchDir folder;
  for (bool pe32Plus : {false, true}) {
    const std::string pe = folder.Write("pe", WindowsProgram(pe32Plus, 0x00010002, 0x00030004));
    ExpectWords(ReadVersionWords(pe), 0x00010002, 0x00030004);
    ASSERT_TRUE(StampFileVersion(pe, 0x00020001, 0x00000009));
    ExpectWords(ReadVersionWords(pe), 0x00020001, 0x00000009);
  }
  const std::string elf = folder.Write("elf", FileBytes(platform::ExecutablePath()));
  ASSERT_TRUE(StampFileVersion(elf, 0x00070008, 0x0009000a));
  EXPECT_EQ(FileVersion(elf).GetParts(), (std::array<uint32_t, 4>{7, 8, 9, 10}));
}

TEST(FileVersionTest, DiffersFromAnnouncement) {
  ScratchDir folder;
  FileVersion version(folder.Write("installed", WindowsProgram(false, 0x00010000, 0x00000002)));
  EXPECT_FALSE(version.Differs(1, 0, 0, 2));
  EXPECT_TRUE(version.Differs(1, 0, 0, 1));  // an installed file newer than announced
  EXPECT_TRUE(version.Differs(2, 0, 0, 2));
  EXPECT_FALSE(version.Differs(1, 0x10000, 0, 0x10002));  // low parts count modulo 65536

  // Unknown versions, 0.0.0.0 included, always differ, and are read again on the next use.
  FileVersion pending(folder.Write("later", "not yet a program"));
  EXPECT_TRUE(pending.Differs(0, 0, 0, 0));
  folder.Write("later", WindowsProgram(false, 5, 6));
  EXPECT_EQ(pending.GetParts(), (std::array<uint32_t, 4>{0, 5, 0, 6}));
  EXPECT_TRUE(FileVersion(folder.Write("zero", WindowsProgram(false, 0, 0))).Differs(0, 0, 0, 0));
}

}  // namespace
