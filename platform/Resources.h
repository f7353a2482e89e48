#pragma once
// Resources compiled into the executable, found by id and language.

#include <cstdint>
#include <span>
#include <vector>

namespace platform {

// The string block `block` (it holds the strings (block - 1) * 16 to block * 16 - 1) of exactly
// that language: 16 entries, each a 16-bit length followed by that many UTF-16 code units, a
// zero length for an absent string. Empty when the executable has no such block.
std::span<const uint16_t> FindStringBlock(int block, uint16_t languageId);

// The PNG file of bitmap resource `id`: the window's banners, button pictures, panels and, as
// 128, the window icon at 48 x 48 pixels. Empty when the executable has no such bitmap.
std::span<const uint8_t> FindBitmapResource(int id);

// The PNG files of icon resource `id`, one per size, smallest first (128: 16, 32 and 48 pixels),
// so the desktop can take the size that fits each place. Empty when there is no such icon.
std::vector<std::span<const uint8_t>> FindIconResource(int id);

}  // namespace platform
