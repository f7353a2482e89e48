#include "platform/ProcessMemory.h"

#include <windows.h>
#include <psapi.h>

namespace platform {

std::optional<uint64_t> PeakResidentBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return std::nullopt;
  return counters.PeakWorkingSetSize;
}

}  // namespace platform
