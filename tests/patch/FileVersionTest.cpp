#include "patch/FileVersion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "patch/VersionNoteDefine.h"
#include "platform/Path.h"
#include "tests/patch/ScratchFile.h"

// This test program carries a version note of its own, read back below.
SOLANE_DEFINE_VERSION_NOTE(3, 14, 15, 92);

namespace {

constexpr uint32_t kOwnHigh = 3 << 16 | 14, kOwnLow = 15 << 16 | 92;

std::string FileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A minimal Windows executable: headers, one ".rsrc" section whose resource tree holds an icon
// type, a named type and RT_VERSION -> name 1 -> language 0x409 -> VS_VERSIONINFO, which ends
// the file.
class PeBuilder {
 public:
  std::vector<uint8_t> Build(bool pe32Plus, uint32_t ms, uint32_t ls) {
    bytes_.assign(0x200, 0);
    Put16(0, 0x5a4d);  // "MZ"
    Put32(0x3c, 0x80);
    Put32(0x80, 0x00004550);  // "PE\0\0"
    const uint32_t coff = 0x84, optional = coff + 20;
    const uint16_t optionalSize = pe32Plus ? 240 : 224;
    Put16(coff, pe32Plus ? 0x8664 : 0x14c);
    Put16(coff + 2, 1);
    Put16(coff + 16, optionalSize);
    Put16(optional, pe32Plus ? 0x20b : 0x10b);
    const uint32_t directories = optional + (pe32Plus ? 112 : 96);
    Put32(directories - 4, 16);
    Put32(directories + 16, kRsrcRva);

    // The resource tree; offsets are relative to the section start.
    Directory(0x00, 1, 2);
    Entry(0x10, kHighBit | 0x100, kHighBit | 0x40);  // a named type, before the ids
    Entry(0x18, 3, kHighBit | 0x40);                  // RT_ICON
    Entry(0x20, 16, kHighBit | 0x58);                 // RT_VERSION
    Directory(0x40, 0, 0);
    Directory(0x58, 0, 1);
    Entry(0x68, 1, kHighBit | 0x70);
    Directory(0x70, 0, 1);
    Entry(0x80, 0x409, 0x88);
    const uint32_t info = 0xa0;
    Put32(kRawOffset + 0x88, kRsrcRva + info);
    Put32(kRawOffset + 0x8c, 40 + 52);

    VersionInfo(info, ms, ls);
    const uint32_t sectionSize = info + 40 + 52;
    const uint32_t section = optional + optionalSize;
    std::memcpy(&bytes_[section], ".rsrc", 5);
    Put32(section + 8, sectionSize);
    Put32(section + 12, kRsrcRva);
    Put32(section + 16, sectionSize);
    Put32(section + 20, kRawOffset);
    Put32(directories + 20, sectionSize);
    return bytes_;
  }

 private:
  static constexpr uint32_t kRsrcRva = 0x1000, kRawOffset = 0x200, kHighBit = 0x80000000;

  void Put16(size_t at, uint16_t value) { PutBytes(at, value, 2); }
  void Put32(size_t at, uint32_t value) { PutBytes(at, value, 4); }
  void PutBytes(size_t at, uint32_t value, int count) {
    if (bytes_.size() < at + count) bytes_.resize(at + count, 0);
    for (int i = 0; i < count; ++i) bytes_[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  void Directory(uint32_t at, uint16_t named, uint16_t ids) {
    Put16(kRawOffset + at + 12, named);
    Put16(kRawOffset + at + 14, ids);
  }
  void Entry(uint32_t at, uint32_t name, uint32_t target) {
    Put32(kRawOffset + at, name);
    Put32(kRawOffset + at + 4, target);
  }
  // VS_VERSIONINFO header and key, then VS_FIXEDFILEINFO; the product words differ from the
  // file words so that a reader taking the wrong pair is caught.
  void VersionInfo(uint32_t at, uint32_t ms, uint32_t ls) {
    const uint32_t base = kRawOffset + at;
    Put16(base, 40 + 52);
    Put16(base + 2, 52);
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof key; ++i) Put16(base + 6 + 2 * i, static_cast<uint8_t>(key[i]));
    const uint32_t fixed = base + 40;
    Put32(fixed, 0xfeef04bd);
    Put32(fixed + 4, 0x00010000);
    Put32(fixed + 8, ms);
    Put32(fixed + 12, ls);
    Put32(fixed + 16, 0x00630063);
    Put32(fixed + 20, 0x00630063);
    Put32(fixed + 48, 0);
  }

  std::vector<uint8_t> bytes_;
};

std::string AsText(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

void ExpectWords(const std::optional<VersionWords>& words, uint32_t high, uint32_t low) {
  ASSERT_TRUE(words.has_value());
  EXPECT_EQ(words->high, high);
  EXPECT_EQ(words->low, low);
}

TEST(FileVersionTest, WindowsVersionResource) {
  for (bool pe32Plus : {false, true}) {
    const auto image = PeBuilder().Build(pe32Plus, 0x00010002, 0x00030004);
    ExpectWords(ReadVersionWords(image), 0x00010002, 0x00030004);
    ScratchFile file(AsText(image));
    ExpectWords(ReadVersionWords(file.path()), 0x00010002, 0x00030004);
  }
}

TEST(FileVersionTest, OwnElfNote) {
  ExpectWords(ReadVersionWords(platform::ExecutablePath()), kOwnHigh, kOwnLow);
  FileVersion own;
  EXPECT_EQ(own.GetParts(), (std::array<uint32_t, 4>{3, 14, 15, 92}));
  EXPECT_FALSE(own.Differs(3, 14, 15, 92));
}

TEST(FileVersionTest, LauncherCarriesItsBuildVersion) {
  const std::string launcher = std::string(SOLANE_BINARY_DIR) + "/SolaneLauncher";
  if (!std::filesystem::exists(launcher)) GTEST_SKIP() << "SolaneLauncher is not built";
  ExpectWords(ReadVersionWords(launcher), SOLANE_VERSION_MAJOR << 16 | SOLANE_VERSION_MINOR,
              SOLANE_VERSION_PATCH << 16 | SOLANE_VERSION_TWEAK);
}

// Every cut of a file before its version words leaves no version, and nothing reads out of
// bounds; files of neither kind have none either.
TEST(FileVersionTest, TruncatedAndForeignFilesHaveNoVersion) {
  const auto pe = PeBuilder().Build(false, 1, 2);
  for (size_t length = 0; length < pe.size(); ++length)
    EXPECT_FALSE(ReadVersionWords(std::span(pe.data(), length))) << "PE cut at " << length;

  const std::string own = FileContents(platform::ExecutablePath());
  const std::string noteName("Solane\0\0", 8);
  const size_t words = own.find(noteName) + noteName.size();
  ASSERT_NE(own.find(noteName), std::string::npos);
  for (size_t length : {size_t{0}, size_t{4}, size_t{16}, size_t{52}, size_t{64}, words - 8, words + 7}) {
    std::vector<uint8_t> cut(own.begin(), own.begin() + length);
    EXPECT_FALSE(ReadVersionWords(cut)) << "ELF cut at " << length;
  }

  for (std::string foreign : {std::string(), std::string("MZ"), std::string(4096, 'x'), std::string("\x7f" "ELF")}) {
    ScratchFile file(foreign);
    EXPECT_FALSE(ReadVersionWords(file.path()));
    EXPECT_FALSE(StampFileVersion(file.path(), 1, 1));
    EXPECT_EQ(FileContents(file.path()), foreign);
  }
  EXPECT_FALSE(ReadVersionWords("/nonexistent/SolaneClient.exe"));
}

// Damaged tables: offsets and counts pointing past the end or looping back.
TEST(FileVersionTest, HostileOffsetsAreRejected) {
  const auto good = PeBuilder().Build(false, 1, 2);
  const std::pair<size_t, uint32_t> damages[] = {
      {0x3c, 0xfffffff0},          // PE header offset
      {0x84 + 2, 0xffff},          // section count (16 bits, the next field follows)
      {0x98 + 96 + 16, 0xfffff000},  // resource directory address
      {0x200 + 0x24, 0x80000000},  // RT_VERSION pointing at the root again
      {0x200 + 0x88, 0xffffffff},  // data address
      {0x200 + 0x8c, 0x7fffffff},  // data size
  };
  for (const auto& [at, value] : damages) {
    auto bad = good;
    for (int i = 0; i < 4 && at + i < bad.size(); ++i) bad[at + i] = static_cast<uint8_t>(value >> (8 * i));
    EXPECT_FALSE(ReadVersionWords(bad)) << "damage at " << at;
  }
}

TEST(FileVersionTest, StampRoundTrip) {
  ScratchFile pe(AsText(PeBuilder().Build(true, 1, 2)));
  ASSERT_TRUE(StampFileVersion(pe.path(), 0x00020001, 0x00000009));
  ExpectWords(ReadVersionWords(pe.path()), 0x00020001, 0x00000009);

  ScratchFile elf(FileContents(platform::ExecutablePath()));
  ASSERT_TRUE(StampFileVersion(elf.path(), 0x00070008, 0x0009000a));
  FileVersion stamped(elf.path());
  EXPECT_EQ(stamped.GetParts(), (std::array<uint32_t, 4>{7, 8, 9, 10}));
}

TEST(FileVersionTest, DiffersFromAnnouncement) {
  ScratchFile installed(AsText(PeBuilder().Build(false, 0x00010000, 0x00000002)));
  FileVersion version(installed.path());
  EXPECT_FALSE(version.Differs(1, 0, 0, 2));
  EXPECT_TRUE(version.Differs(1, 0, 0, 1));   // an installed file newer than announced
  EXPECT_TRUE(version.Differs(1, 1, 0, 2));
  EXPECT_TRUE(version.Differs(2, 0, 0, 2));
  EXPECT_FALSE(version.Differs(1, 0x10000, 0, 0x10002));  // low parts count modulo 65536

  // Unknown versions always differ, also from 0.0.0.0, and are read again on the next use.
  ScratchFile later("not yet a program");
  FileVersion pending(later.path());
  EXPECT_TRUE(pending.Differs(0, 0, 0, 0));
  EXPECT_EQ(pending.GetParts(), (std::array<uint32_t, 4>{0, 0, 0, 0}));
  std::ofstream(later.path(), std::ios::binary | std::ios::trunc) << AsText(PeBuilder().Build(false, 5, 6));
  EXPECT_EQ(pending.GetParts(), (std::array<uint32_t, 4>{0, 5, 0, 6}));

  ScratchFile zero(AsText(PeBuilder().Build(false, 0, 0)));
  EXPECT_TRUE(FileVersion(zero.path()).Differs(0, 0, 0, 0));
}

}  // namespace
