#pragma once
// The arithmetic of the random login server pick, apart from its random source.

// The largest draw: draws are uniform in 0..kRandomDrawMax.
inline constexpr int kRandomDrawMax = 32767;

// The 1-based key number that `draw` (0..kRandomDrawMax) picks among `count` addresses:
// span = count * 10000 - 1 as a float, v = the integer part of draw * span / 32767, index =
// v / 10000 + 1, kept within 1..count. 0 when `count` is below 1 (nothing to pick).
int RandomServerIndex(int draw, int count);
