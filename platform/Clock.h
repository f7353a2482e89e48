#pragma once
// Millisecond ticks and sleeps. The tick is 32 bits and wraps, as the engine's arithmetic expects.

#include <cstdint>

namespace platform {

uint32_t TickCount();
void SleepMs(uint32_t milliseconds);

// Raising the system timer resolution: the sleeps are already fine-grained here, so these
// only keep the engine's creation and destruction symmetric.
void BeginTimerResolution();
void EndTimerResolution();

}  // namespace platform
