// Registry values that the server asks to move: read as text at the source, optionally deleted
// there, and written as text at the destination unless that already holds a value.

#include <algorithm>
#include <cstdint>
#include <string>

#include "patch/PatchEngine.h"
#include "platform/Registry.h"

namespace {

constexpr const char* kLauncherSection = "SolaneLauncher";
constexpr const char* kNoValue = "NoReg";

}  // namespace

void PatchEngine::MigrateRegistry() {
  // A negative count moves nothing (read unsigned it would run for billions of turns).
  const uint32_t count = static_cast<uint32_t>(std::max(updateInfo_.ReadInt(kLauncherSection, "RegMoveCount", 0), 0));
  for (uint32_t index = 1; index <= count && index != 0 && !IsCancelled(); ++index) {
    const std::string prefix = std::to_string(index) + "_";
    const std::string sourceName = updateInfo_.ReadString(kLauncherSection, prefix + "From_RegValue", kNoValue);
    if (sourceName.empty()) continue;
    const std::string sourceKey = prefix + "From_RegKey";
    const std::string sourceSubKey = prefix + "From_RegSubKey";
    const std::string data = RegistryRead(sourceName, kLauncherSection, sourceKey, sourceSubKey);
    if (data.empty()) continue;
    if (updateInfo_.ReadInt(kLauncherSection, prefix + "Delete", 0) == 1)
      RegistryDelete(sourceName, kLauncherSection, sourceKey, sourceSubKey);

    const std::string destinationName = updateInfo_.ReadString(kLauncherSection, prefix + "To_RegValue", kNoValue);
    if (destinationName.empty()) continue;
    const std::string destinationKey = prefix + "To_RegKey";
    const std::string destinationSubKey = prefix + "To_RegSubKey";
    // An existing destination is the player's own value and is never overwritten.
    if (!RegistryRead(destinationName, kLauncherSection, destinationKey, destinationSubKey).empty()) continue;
    RegistryWrite(destinationName, kLauncherSection, destinationKey, destinationSubKey, data, platform::kRegSz);
  }
}
