// The MD5 digests that packs are compared by, and the text-mode CRC-32 of the pack check.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "patch/Md5.h"
#include "patch/TextChecksum.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"

namespace {

// Lengths around the padding boundary and across several 1 MiB file reads, digested from memory
// whole and in uneven pieces and from the file, against md5sum (an independent implementation).
TEST(Md5Test, LengthsPiecesAndFilesAgreeWithMd5sum) {
  EXPECT_EQ(Md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
  ScratchDir folder;
  std::mt19937 random(7);
  for (size_t length : {0u, 55u, 56u, 63u, 64u, 119u, 3u * (1 << 20) + 77}) {
    std::string text(length, '\0');
    for (char& c : text) c = static_cast<char>(random());
    const std::string path = folder.Write(std::to_string(length), text);
    const std::string expected = RunProgram({"/usr/bin/md5sum", path}).output.substr(0, 32);
    ASSERT_EQ(expected.size(), 32u);
    EXPECT_EQ(Md5Of(text), expected) << length;
    EXPECT_EQ(Md5OfFile(path), expected) << length;
    Md5Context context;
    for (size_t pos = 0, piece; pos < length; pos += piece)
      context.Update(text.data() + pos, piece = std::min<size_t>(random() % 150, length - pos));
    EXPECT_EQ(context.Final(), expected) << length << " in pieces";
  }
}

// What a text-mode read delivers, then a bit-by-bit CRC-32 over it, all in memory.
uint32_t ExpectedChecksum(const std::string& raw) {
  std::string text;
  for (size_t i = 0; i < raw.size() && raw[i] != '\x1a'; ++i)
    if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') text += raw[i];
  uint32_t crc = 0xffffffff;
  for (unsigned char byte : text) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

uint32_t ChecksumOfFile(const std::string& contents) {
  ScratchDir folder;
  return TextModeCrc32(folder.Write("Data.SPF", contents));
}

TEST(TextChecksumTest, LineEndsAndEndMark) {
  EXPECT_EQ(ChecksumOfFile("123456789"), 0xcbf43926u);  // the CRC-32 check value
  // A lone CR counts, at the end too; of CR CR LF the first CR stays; nothing after 0x1A counts.
  for (const char* contents : {"line\r\nline\r\n", "lone\rcarriage\r", "double\r\r\nend", "before\x1a" "after", "cr\r\x1a"})
    EXPECT_EQ(ChecksumOfFile(contents), ExpectedChecksum(contents)) << contents;
}

// Random binary data over several 1 MiB reads, with CR LF pairs and lone CRs placed on the read
// boundaries, with and without an end mark.
TEST(TextChecksumTest, RandomDataAcrossReadBoundaries) {
  constexpr size_t kRead = 1 << 20;
  std::mt19937 random(3);
  std::string raw(3 * kRead + 1000, '\0');
  for (char& c : raw)
    if ((c = static_cast<char>(random())) == '\x1a') c = '\r';  // the end mark is placed by hand
  for (size_t i = 0; i + 1 < raw.size(); i += 97) raw.replace(i, 2, "\r\n");
  for (const auto& [at, piece] : {std::pair{kRead - 1, "\r\n"}, {2 * kRead - 1, "\rx"}, {3 * kRead - 1, "\r\r\n"}})
    raw.replace(at, std::string(piece).size(), piece);
  raw.back() = '\r';
  EXPECT_EQ(ChecksumOfFile(raw), ExpectedChecksum(raw));
  raw[2 * kRead + 12345] = '\x1a';
  EXPECT_EQ(ChecksumOfFile(raw), ExpectedChecksum(raw));
}

// A file that cannot be read, a folder or a cancelled read give no digest and no checksum.
TEST(Checksums, UnreadableOrCancelledGiveNothing) {
  EXPECT_EQ(Md5OfFile("/nonexistent/Solane/file.SPF"), "");
  EXPECT_EQ(TextModeCrc32("/nonexistent/Solane/Data.SPF"), 0u);
  EXPECT_EQ(Md5OfFile(std::filesystem::temp_directory_path().string()), "");  // a folder
  ScratchDir folder;
  const std::string path = folder.Write("Data.SPF", "some pack");
  EXPECT_EQ(Md5OfFile(path, [] { return true; }), "");
  EXPECT_EQ(Md5OfFile(path, [] { return false; }), Md5Of("some pack"));
  EXPECT_EQ(TextModeCrc32(path, [] { return true; }), 0u);
  EXPECT_EQ(TextModeCrc32(path, [] { return false; }), ExpectedChecksum("some pack"));
}

}  // namespace
