#pragma once
// Resources compiled into the executable, found by id and language.

#include <cstdint>
#include <span>

namespace platform {

// The string block `block` (it holds the strings (block - 1) * 16 to block * 16 - 1) of exactly
// that language: 16 entries, each a 16-bit length followed by that many UTF-16 code units, a
// zero length for an absent string. Empty when the executable has no such block.
std::span<const uint16_t> FindStringBlock(int block, uint16_t languageId);

}  // namespace platform
