#include "patch/Md5.h"

#include <gtest/gtest.h>

#include "tests/patch/ScratchFile.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"

#include <filesystem>
#include <random>
#include <string>

namespace {

// md5sum's digest of the file: an independent implementation.
std::string Md5sumOf(const std::string& path) { return RunProgram({"/usr/bin/md5sum", path}).output.substr(0, 32); }

TEST(Md5Test, RfcSuite) {
  EXPECT_EQ(Md5Of(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around the padding boundary and across several 1 MiB file reads, digested from memory
// whole and in uneven pieces and from the file, against md5sum.
TEST(Md5Test, LengthsPiecesAndFilesAgreeWithMd5sum) {
  std::mt19937 random(7);
  for (size_t length : {55u, 56u, 63u, 64u, 119u, 3u * (1 << 20) + 77}) {
    std::string text(length, '\0');
    for (char& c : text) c = static_cast<char>(random());
    ScratchFile file(text);
    const std::string expected = Md5sumOf(file.path());
    ASSERT_EQ(expected.size(), 32u);
    EXPECT_EQ(Md5Of(text), expected) << length;
    EXPECT_EQ(Md5OfFile(file.path()), expected) << length;
    Md5Context context;
    for (size_t pos = 0, piece; pos < length; pos += piece)
      context.Update(text.data() + pos, piece = std::min<size_t>(random() % 150, length - pos));
    EXPECT_EQ(context.Final(), expected) << length << " in pieces";
  }
}

TEST(Md5Test, UnreadableOrCancelledGivesEmptyText) {
  EXPECT_EQ(Md5OfFile("/nonexistent/Solane/file.SPF"), "");
  EXPECT_EQ(Md5OfFile(std::filesystem::temp_directory_path().string()), "");  // a folder
  ScratchFile file(std::string(100, 'x'));
  EXPECT_EQ(Md5OfFile(file.path(), [] { return true; }), "");
  EXPECT_EQ(Md5OfFile(file.path(), [] { return false; }), Md5Of(std::string(100, 'x')));
}

}  // namespace
