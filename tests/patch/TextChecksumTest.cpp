#include "patch/TextChecksum.h"

#include <gtest/gtest.h>

#include "tests/patch/ScratchFile.h"

#include <random>
#include <string>

namespace {

// What a text-mode read delivers, then a bit-by-bit CRC-32 over it, all in memory.
uint32_t ExpectedChecksum(const std::string& raw) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\x1a') break;
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  uint32_t crc = 0xffffffff;
  for (unsigned char byte : text) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
  }
  return ~crc;
}

uint32_t ChecksumOfFile(const std::string& contents) {
  ScratchFile file(contents);
  return TextModeCrc32(file.path());
}

TEST(TextChecksumTest, ReferenceAgreesWithKnownValue) {
  EXPECT_EQ(ExpectedChecksum("123456789"), 0xcbf43926u);
}

TEST(TextChecksumTest, LineEndsAndEndMark) {
  const std::string vectors[] = {
      "",
      "plain text",
      "line\r\nline\r\n",
      "lone\rcarriage\r",   // a CR without LF counts, at the end too
      "double\r\r\nend",    // the first CR stays
      "before\x1a" "after", // nothing after the end mark counts
      "cr then mark\r\x1a",
      "\x1a",
  };
  for (const std::string& contents : vectors)
    EXPECT_EQ(ChecksumOfFile(contents), ExpectedChecksum(contents)) << contents;
}

// Random binary data over several 1 MiB reads, with CR LF pairs and lone CRs placed on the read
// boundaries, with and without an end mark.
TEST(TextChecksumTest, RandomDataAcrossReadBoundaries) {
  constexpr size_t kRead = 1 << 20;
  std::mt19937 random(3);
  std::string raw(3 * kRead + 1000, '\0');
  for (char& c : raw) {
    unsigned value = random() % 256;
    if (value == 0x1a) value = '\r';  // plenty of CRs; the end mark is placed by hand
    c = static_cast<char>(value);
  }
  for (size_t i = 0; i + 1 < raw.size(); i += 97) raw.replace(i, 2, "\r\n");
  raw[kRead - 1] = '\r';
  raw[kRead] = '\n';
  raw[2 * kRead - 1] = '\r';
  raw[2 * kRead] = 'x';
  raw[3 * kRead - 1] = '\r';
  raw[3 * kRead] = '\r';
  raw[3 * kRead + 1] = '\n';
  raw.back() = '\r';
  EXPECT_EQ(ChecksumOfFile(raw), ExpectedChecksum(raw));

  std::string marked = raw;
  marked[2 * kRead + 12345] = '\x1a';
  EXPECT_EQ(ChecksumOfFile(marked), ExpectedChecksum(marked));
  EXPECT_NE(ChecksumOfFile(marked), ChecksumOfFile(raw));
}

TEST(TextChecksumTest, MissingFileOrCancelGivesZero) {
  EXPECT_EQ(TextModeCrc32("/nonexistent/Solane/Data.SPF"), 0u);
  ScratchFile file("some pack");
  EXPECT_EQ(TextModeCrc32(file.path(), [] { return true; }), 0u);
  EXPECT_EQ(TextModeCrc32(file.path(), [] { return false; }), ExpectedChecksum("some pack"));
}

}  // namespace
