#include "window/ProgressFill.h"

#include <algorithm>
#include <cstdint>

int ProgressFillWidth(int innerWidth, int pos, int lower, int upper) {
  // In 64 bits: a range across the whole 32-bit span must not overflow.
  const int64_t offset = int64_t{pos} - lower;
  const int64_t span = int64_t{upper} - lower;
  if (offset == 0 || span == 0) return 0;
  const double percent = static_cast<double>(offset) / (static_cast<double>(span) / 100.0);
  const double fill = innerWidth / 100.0 * percent;
  // Beyond either end the picture clips the fill; clamping first keeps the conversion defined.
  return static_cast<int>(std::clamp(fill, -1.0, static_cast<double>(innerWidth)));
}
