#include "patch/RateLimit.h"

#include <cstdlib>
#include <string>

#include "app/Settings.h"
#include "patch/PatchEngine.h"

double LowestRateLimit(std::initializer_list<uint32_t> limits) {
  uint32_t lowest = 0;
  for (const uint32_t limit : limits)
    if (limit > 0 && (lowest == 0 || limit < lowest)) lowest = limit;
  return lowest > 0 ? static_cast<double>(lowest) : -1.0;
}

double PatchEngine::DownloadRateLimit() {
  // BandWidth keeps its old reading: any 32-bit value, a negative one being a large limit.
  const auto server = static_cast<uint32_t>(updateInfo_.ReadInt("SolaneLauncher", "BandWidth", 0));
  // A malformed or negative value in the file is no limit, as an absent one.
  const uint32_t config = ConfiguredRateLimit(ReadSetting(kSettingMaxDownloadKBps));
  return LowestRateLimit({server, config, playerRateLimitKBps_.load()});
}
