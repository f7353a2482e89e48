#pragma once
// The string blocks compiled into the executable. The catalogue compiler generates the table at
// build time; only platform/Resources.cpp reads it.

#include <cstddef>
#include <cstdint>

namespace platform {

struct StringBlockRecord {
  int block;              // message id / 16 + 1
  uint16_t languageId;
  const uint16_t* units;  // 16 entries, each a length followed by that many UTF-16 units
  size_t length;          // in uint16_t units
};

extern const StringBlockRecord kStringBlocks[];
extern const size_t kStringBlockCount;

}  // namespace platform
