#include "patch/Md5.h"

#include <gtest/gtest.h>

#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"

#include <filesystem>
#include <random>
#include <string>

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

TEST(Md5Test, UnreadableOrCancelledGivesEmptyText) {
  EXPECT_EQ(Md5OfFile("/nonexistent/Solane/file.SPF"), "");
  EXPECT_EQ(Md5OfFile(std::filesystem::temp_directory_path().string()), "");  // a folder
  ScratchDir folder;
  const std::string path = folder.Write("file", std::string(100, 'x'));
  EXPECT_EQ(Md5OfFile(path, [] { return true; }), "");
  EXPECT_EQ(Md5OfFile(path, [] { return false; }), Md5Of(std::string(100, 'x')));
}

}  // namespace
