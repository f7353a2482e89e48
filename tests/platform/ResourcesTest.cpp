#include "platform/Resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>

using namespace platform;

namespace {

struct Size {
  uint32_t width = 0;
  uint32_t height = 0;
  bool operator==(const Size&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Size& size) {
    return out << size.width << " x " << size.height;
  }
};

uint32_t BigEndian32(std::span<const uint8_t> bytes, size_t at) {
  return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// The size a PNG file states in its header, after checking that the file is whole: the
// signature, the header chunk first, and chunks that end exactly with the end chunk. {0, 0} when not.
Size PngSize(std::span<const uint8_t> png) {
  static constexpr uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (png.size() < 33 || !std::equal(std::begin(kSignature), std::end(kSignature), png.begin())) return {};
  size_t at = 8;
  std::string last;
  while (at + 12 <= png.size() && last != "IEND") {
    const uint32_t length = BigEndian32(png, at);
    const std::string type(png.begin() + at + 4, png.begin() + at + 8);
    if ((at == 8 && (type != "IHDR" || length != 13)) || png.size() - at - 12 < length) return {};
    last = type;
    at += 12 + length;
  }
  if (last != "IEND" || at != png.size()) return {};
  return {BigEndian32(png, 16), BigEndian32(png, 20)};
}

TEST(ResourcesTest, EveryWindowBitmapAndIconIsAWholePngOfItsSizeAndAbsentIdsGiveNothing) {
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
  for (const Expected& row : table)
    for (int id = row.firstId; id <= row.lastId; ++id) EXPECT_EQ(PngSize(FindBitmapResource(id)), row.size) << id;

  // The window icon comes in three sizes, smallest first.
  const auto pictures = FindIconResource(128);
  ASSERT_EQ(pictures.size(), 3u);
  EXPECT_EQ(PngSize(pictures[0]), (Size{16, 16}));
  EXPECT_EQ(PngSize(pictures[1]), (Size{32, 32}));
  EXPECT_EQ(PngSize(pictures[2]), (Size{48, 48}));
  for (int id : {0, -1, 127, 129, 136, 147, 156, 179, 192, 300})
    EXPECT_TRUE(FindBitmapResource(id).empty()) << "bitmap " << id;
  EXPECT_TRUE(FindIconResource(146).empty() && FindIconResource(129).empty());
}

}  // namespace
