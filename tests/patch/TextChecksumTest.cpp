#include "patch/TextChecksum.h"

#include <gtest/gtest.h>

#include "tests/support/ScratchDir.h"

#include <random>
#include <string>

namespace {

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

TEST(TextChecksumTest, MissingFileOrCancelGivesZero) {
  EXPECT_EQ(TextModeCrc32("/nonexistent/Solane/Data.SPF"), 0u);
  ScratchDir folder;
  const std::string path = folder.Write("Data.SPF", "some pack");
  EXPECT_EQ(TextModeCrc32(path, [] { return true; }), 0u);
  EXPECT_EQ(TextModeCrc32(path, [] { return false; }), ExpectedChecksum("some pack"));
}

}  // namespace
