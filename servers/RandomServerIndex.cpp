#include "servers/RandomServerIndex.h"

#include <algorithm>
#include <cstdint>

int RandomServerIndex(int draw, int count) {
  if (count < 1) return 0;
  // The product is rounded to float precision, so the top draw can land one past the last
  // address; the clamp brings it back. 64 bits keep large counts from overflowing.
  const float span = static_cast<float>(int64_t{count} * 10000 - 1);
  const auto value = static_cast<int64_t>(static_cast<float>(draw) * span / 32767.0);
  return static_cast<int>(std::clamp<int64_t>(value / 10000 + 1, 1, count));
}
