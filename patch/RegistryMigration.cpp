// Registry values that the server asks to move: read as text at the source, written as text at
// the destination unless that already holds a value, and deleted at the source on request once
// the destination holds the same text.

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/RegistrySettings.h"
#include "patch/PatchEngine.h"
#include "platform/AsciiText.h"
#include "platform/Registry.h"

namespace {

constexpr const char* kLauncherSection = "SolaneLauncher";
constexpr const char* kNoValue = "NoReg";

// Registry names compare without letter case, as the registry does.
bool IsSameValue(const RegistryLocation& a, const std::string& aName, const RegistryLocation& b,
                 const std::string& bName) {
  return a.root == b.root && platform::EqualsIgnoringCase(a.path, b.path) && platform::EqualsIgnoringCase(aName, bName);
}

}  // namespace

void PatchEngine::MigrateRegistry() {
  // A negative count moves nothing; a huge one costs no more than the entries really written.
  const int32_t count = std::max(updateInfo_.ReadInt(kLauncherSection, "RegMoveCount", 0), 0);
  const UpdateInfoReader* reader = updateInfoReader_.load();
  for (const uint32_t index : updateInfo_.PresentIndices(kLauncherSection, static_cast<uint32_t>(count))) {
    if (IsCancelled()) break;
    const std::string prefix = std::to_string(index) + "_";
    const std::string sourceName = updateInfo_.ReadString(kLauncherSection, prefix + "From_RegValue", kNoValue);
    const std::string destinationName = updateInfo_.ReadString(kLauncherSection, prefix + "To_RegValue", kNoValue);
    if (sourceName.empty() || destinationName.empty()) continue;
    const RegistryLocation source =
        ResolveRegistryLocation(reader, kLauncherSection, prefix + "From_RegKey", prefix + "From_RegSubKey");
    const RegistryLocation destination =
        ResolveRegistryLocation(reader, kLauncherSection, prefix + "To_RegKey", prefix + "To_RegSubKey");
    // A move onto itself would only delete the value.
    if (IsSameValue(source, sourceName, destination, destinationName)) continue;
    const std::string data = ReadRegistryText(source, sourceName);
    if (data.empty()) continue;

    // An existing destination is the player's own value and is never overwritten.
    std::string held = ReadRegistryText(destination, destinationName);
    if (held.empty() && WriteRegistryValue(destination, destinationName, data, platform::kRegSz))
      held = ReadRegistryText(destination, destinationName);
    // The source goes only once its text is safe at the destination: a refused write or a
    // different value there keeps it.
    if (held == data && updateInfo_.ReadInt(kLauncherSection, prefix + "Delete", 0) == 1)
      DeleteRegistryValueWalk(source, sourceName);
  }
}
