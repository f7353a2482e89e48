#include "platform/Clock.h"

#include <windows.h>
#include <timeapi.h>

namespace platform {

uint32_t TickCount() { return GetTickCount(); }

void SleepMs(uint32_t milliseconds) { Sleep(milliseconds); }

// The default timer ticks every 15.6 ms, too coarse for the rate limiter's short sleeps.
void BeginTimerResolution() { timeBeginPeriod(1); }
void EndTimerResolution() { timeEndPeriod(1); }

}  // namespace platform
