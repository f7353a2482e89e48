#include "platform/Resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

using namespace platform;

namespace {

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const Size&) const = default;
};

uint32_t BigEndian32(std::span<const uint8_t> bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// The size a PNG file states in its header, after checking that the file is whole: the
// signature, the header chunk first, and chunks that end exactly with the end chunk.
::testing::AssertionResult PngSize(std::span<const uint8_t> png, Size& size) {
  static constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 33 || !std::equal(std::begin(kSignature), std::end(kSignature), png.begin()))
    return ::testing::AssertionFailure() << "no PNG signature (" << png.size() << " bytes)";
  size_t at = 8;
  std::string last;
  while (at + 12 <= png.size() && last != "IEND") {
    const uint32_t length = BigEndian32(png, at);
    const std::string type(png.begin() + at + 4, png.begin() + at + 8);
    if (at == 8 && (type != "IHDR" || length != 13)) return ::testing::AssertionFailure() << "no header chunk first";
    if (png.size() - at - 12 < length) return ::testing::AssertionFailure() << type << " chunk runs past the end";
    last = type;
    at += 12 + length;
  }
  if (last != "IEND" || at != png.size()) return ::testing::AssertionFailure() << "does not end with the end chunk";
  size = {BigEndian32(png, 16), BigEndian32(png, 20)};
  return ::testing::AssertionSuccess();
}

TEST(ResourcesTest, EveryWindowBitmapIsAPngOfItsSize) {
  const Size topBanner{633, 69}, bottomBanner{633, 91}, button{85, 46};
  struct Expected {
    int firstId, lastId;
    Size size;
  };
  const Expected table[] = {
      {146, 146, topBanner}, {165, 165, topBanner}, {155, 155, topBanner}, {176, 176, topBanner},
      {181, 181, topBanner}, {145, 145, bottomBanner}, {154, 154, bottomBanner}, {166, 166, bottomBanner},
      {182, 182, bottomBanner}, {137, 144, button}, {157, 164, button}, {167, 174, button},
      {183, 190, button}, {175, 175, {633, 310}}, {177, 177, {429, 310}}, {180, 180, {228, 310}},
      {191, 191, {228, 310}}, {178, 178, {209, 17}}, {128, 128, {48, 48}},
  };
  for (const Expected& row : table) {
    for (int id = row.firstId; id <= row.lastId; ++id) {
      Size size;
      ASSERT_TRUE(PngSize(FindBitmapResource(id), size)) << "bitmap " << id;
      EXPECT_EQ(size, row.size) << "bitmap " << id << " is " << size.width << " x " << size.height;
    }
  }
}

// The window icon comes in three sizes, smallest first; ids without a resource give nothing.
TEST(ResourcesTest, WindowIconComesInThreeSizesAndAbsentIdsGiveNothing) {
  const auto pictures = FindIconResource(128);
  ASSERT_EQ(pictures.size(), 3u);
  const Size sizes[] = {{16, 16}, {32, 32}, {48, 48}};
  for (size_t i = 0; i < 3; ++i) {
    Size size;
    ASSERT_TRUE(PngSize(pictures[i], size));
    EXPECT_EQ(size, sizes[i]) << "picture " << i;
  }
  for (int id : {0, -1, 127, 129, 136, 147, 156, 179, 192, 300})
    EXPECT_TRUE(FindBitmapResource(id).empty()) << "bitmap " << id;
  EXPECT_TRUE(FindIconResource(146).empty() && FindIconResource(129).empty());
}

}  // namespace
