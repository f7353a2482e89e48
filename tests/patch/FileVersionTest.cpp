#include "patch/FileVersion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "patch/VersionNoteDefine.h"
#include "platform/Path.h"
#include "tests/patch/ScratchFile.h"

// This test program carries a version note of its own, read back below.
SOLANE_DEFINE_VERSION_NOTE(3, 14, 15, 92);

namespace {

std::string FileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(std::string& bytes, size_t at, uint32_t value, int count = 4) {
  if (bytes.size() < at + count) bytes.resize(at + count, '\0');
  for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Where the fields that the damage test spoils lie in the image below.
constexpr uint32_t kRsrc = 0x200, kVersionTypeTarget = kRsrc + 0x24, kDataSize = kRsrc + 0x8c;

// A minimal Windows executable: headers, one ".rsrc" section whose resource tree holds a named
// type, an icon type and RT_VERSION -> name 1 -> language 0x409 -> VS_VERSIONINFO, which ends
// the file. The product words differ from the file words, so a reader taking the wrong pair fails.
std::string WindowsProgram(bool pe32Plus, uint32_t ms, uint32_t ls) {
  constexpr uint32_t kRva = 0x1000, kHigh = 0x80000000, kSize = 0xa0 + 40 + 52, kInfo = kRsrc + 0xa0;
  const uint32_t coff = 0x84, optional = coff + 20, optionalSize = pe32Plus ? 240 : 224;
  const uint32_t directories = optional + (pe32Plus ? 112 : 96), section = optional + optionalSize;
  std::string b(0x200, '\0');
  const std::tuple<uint32_t, uint32_t, int> fields[] = {
      // "MZ", the PE header, one section, the optional header's kind and 16 data directories.
      {0, 0x5a4d, 2}, {0x3c, 0x80, 4}, {0x80, 0x00004550, 4}, {coff, pe32Plus ? 0x8664 : 0x14c, 2}, {coff + 2, 1, 2},
      {coff + 16, optionalSize, 2}, {optional, pe32Plus ? 0x20b : 0x10b, 2}, {directories - 4, 16, 4},
      {directories + 16, kRva, 4}, {directories + 20, kSize, 4}, {section + 8, kSize, 4}, {section + 12, kRva, 4},
      {section + 16, kSize, 4}, {section + 20, kRsrc, 4},
      // The resource tree: directory entry counts (named, ids), then entries (name or id, target).
      {kRsrc + 12, 1, 2}, {kRsrc + 14, 2, 2}, {kRsrc + 0x58 + 14, 1, 2}, {kRsrc + 0x70 + 14, 1, 2},
      {kRsrc + 0x10, kHigh | 0x100, 4}, {kRsrc + 0x14, kHigh | 0x40, 4}, {kRsrc + 0x18, 3, 4},
      {kRsrc + 0x1c, kHigh | 0x40, 4}, {kRsrc + 0x20, 16, 4}, {kVersionTypeTarget, kHigh | 0x58, 4},
      {kRsrc + 0x68, 1, 4}, {kRsrc + 0x6c, kHigh | 0x70, 4}, {kRsrc + 0x80, 0x409, 4}, {kRsrc + 0x84, 0x88, 4},
      {kRsrc + 0x88, kRva + 0xa0, 4}, {kDataSize, 40 + 52, 4},
      // VS_VERSIONINFO's lengths, then its fixed file information.
      {kInfo, 40 + 52, 2}, {kInfo + 2, 52, 2}, {kInfo + 40, 0xfeef04bd, 4}, {kInfo + 44, 0x00010000, 4},
      {kInfo + 48, ms, 4}, {kInfo + 52, ls, 4}, {kInfo + 56, 0x00630063, 4}, {kInfo + 60, 0x00630063, 4}, {kInfo + 88, 0, 4}};
  for (const auto& [at, value, width] : fields) Put(b, at, value, width);
  std::memcpy(&b[section], ".rsrc", 5);
  for (size_t i = 0; i < sizeof "VS_VERSION_INFO"; ++i) Put(b, kInfo + 6 + 2 * i, "VS_VERSION_INFO"[i], 2);
  return b;
}

std::optional<VersionWords> FromImage(const std::string& image, size_t length = std::string::npos) {
  return ReadVersionWords(std::span(reinterpret_cast<const uint8_t*>(image.data()), std::min(length, image.size())));
}

void ExpectWords(const std::optional<VersionWords>& words, uint32_t high, uint32_t low) {
  ASSERT_TRUE(words.has_value());
  EXPECT_EQ(words->high, high);
  EXPECT_EQ(words->low, low);
}

TEST(FileVersionTest, WindowsVersionResource) {
  for (bool pe32Plus : {false, true}) {
    ScratchFile file(WindowsProgram(pe32Plus, 0x00010002, 0x00030004));
    ExpectWords(ReadVersionWords(file.path()), 0x00010002, 0x00030004);
  }
}

TEST(FileVersionTest, ElfVersionNotes) {
  ExpectWords(ReadVersionWords(platform::ExecutablePath()), 3 << 16 | 14, 15 << 16 | 92);
  const std::string launcher = std::string(SOLANE_BINARY_DIR) + "/SolaneLauncher";
  if (!std::filesystem::exists(launcher)) GTEST_SKIP() << "SolaneLauncher is not built";
  ExpectWords(ReadVersionWords(launcher), SOLANE_VERSION_MAJOR << 16 | SOLANE_VERSION_MINOR,
              SOLANE_VERSION_PATCH << 16 | SOLANE_VERSION_TWEAK);
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
  for (const std::string& foreign : {std::string(), std::string("MZ"), std::string(4096, 'x'), std::string("\x7f" "ELF")}) {
    ScratchFile file(foreign);
    EXPECT_FALSE(ReadVersionWords(file.path()));
    EXPECT_FALSE(StampFileVersion(file.path(), 1, 1));
    EXPECT_EQ(FileContents(file.path()), foreign);
  }
}

TEST(FileVersionTest, StampRoundTrip) {
  ScratchFile pe(WindowsProgram(true, 1, 2));
  ASSERT_TRUE(StampFileVersion(pe.path(), 0x00020001, 0x00000009));
  ExpectWords(ReadVersionWords(pe.path()), 0x00020001, 0x00000009);
  ScratchFile elf(FileContents(platform::ExecutablePath()));
  ASSERT_TRUE(StampFileVersion(elf.path(), 0x00070008, 0x0009000a));
  EXPECT_EQ(FileVersion(elf.path()).GetParts(), (std::array<uint32_t, 4>{7, 8, 9, 10}));
}

TEST(FileVersionTest, DiffersFromAnnouncement) {
  ScratchFile installed(WindowsProgram(false, 0x00010000, 0x00000002));
  FileVersion version(installed.path());
  EXPECT_FALSE(version.Differs(1, 0, 0, 2));
  EXPECT_TRUE(version.Differs(1, 0, 0, 1));  // an installed file newer than announced
  EXPECT_TRUE(version.Differs(2, 0, 0, 2));
  EXPECT_FALSE(version.Differs(1, 0x10000, 0, 0x10002));  // low parts count modulo 65536

  // Unknown versions, 0.0.0.0 included, always differ, and are read again on the next use.
  ScratchFile later("not yet a program");
  FileVersion pending(later.path());
  EXPECT_TRUE(pending.Differs(0, 0, 0, 0));
  std::ofstream(later.path(), std::ios::binary | std::ios::trunc) << WindowsProgram(false, 5, 6);
  EXPECT_EQ(pending.GetParts(), (std::array<uint32_t, 4>{0, 5, 0, 6}));
  ScratchFile zero(WindowsProgram(false, 0, 0));
  EXPECT_TRUE(FileVersion(zero.path()).Differs(0, 0, 0, 0));
}

}  // namespace
