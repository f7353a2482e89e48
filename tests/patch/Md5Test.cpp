#include "patch/Md5.h"

#include <gtest/gtest.h>

#include "tests/patch/ScratchFile.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace {

std::string Md5Of(const std::string& text) {
  Md5Context context;
  context.Update(text.data(), text.size());
  return context.Final();
}

// md5sum's digest of the file: an independent implementation.
std::string Md5sumOf(const std::string& path) {
  std::string command = "/usr/bin/md5sum '" + path + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "popen failed";
  char line[128] = {};
  std::string output = std::fgets(line, sizeof line, pipe) ? line : "";
  pclose(pipe);
  return output.substr(0, 32);
}

TEST(Md5Test, RfcSuite) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& [message, digest] : vectors) EXPECT_EQ(Md5Of(message), digest) << '"' << message << '"';
}

// Lengths around the padding boundary, fed whole and in uneven pieces, against md5sum.
TEST(Md5Test, LengthsAndPiecesAgreeWithMd5sum) {
  std::mt19937 random(7);
  for (size_t length : {55u, 56u, 63u, 64u, 119u, 1000000u}) {
    std::string text(length, 'a');
    ScratchFile file(text);
    const std::string expected = Md5sumOf(file.path());
    ASSERT_EQ(expected.size(), 32u);
    EXPECT_EQ(Md5Of(text), expected) << length;

    Md5Context context;
    for (size_t pos = 0; pos < length;) {
      size_t piece = std::min<size_t>(random() % 150, length - pos);
      context.Update(text.data() + pos, piece);
      pos += piece;
    }
    EXPECT_EQ(context.Final(), expected) << length << " in pieces";
  }
}

TEST(Md5Test, FileDigest) {
  std::mt19937 random(11);
  std::string contents(3 * (1 << 20) + 77, '\0');  // crosses several 1 MiB reads
  for (char& c : contents) c = static_cast<char>(random());
  ScratchFile file(contents);
  EXPECT_EQ(Md5OfFile(file.path()), Md5sumOf(file.path()));

  ScratchFile empty("");
  EXPECT_EQ(Md5OfFile(empty.path()), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5Test, UnreadableOrCancelledGivesEmptyText) {
  EXPECT_EQ(Md5OfFile("/nonexistent/Solane/file.SPF"), "");
  EXPECT_EQ(Md5OfFile(std::filesystem::temp_directory_path().string()), "");  // a folder

  ScratchFile file(std::string(100, 'x'));
  EXPECT_EQ(Md5OfFile(file.path(), [] { return true; }), "");
  EXPECT_EQ(Md5OfFile(file.path(), [] { return false; }), Md5Of(std::string(100, 'x')));
}

}  // namespace
