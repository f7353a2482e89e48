// Files that the installation no longer needs, listed by the server in the Delete section.

#include <algorithm>
#include <cstdint>
#include <string>

#include "patch/PatchEngine.h"
#include "platform/Path.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kDeleteSection = "Delete";
constexpr const char* kAbsentName = "Test.SPF";

}  // namespace

void PatchEngine::DeleteListedFiles() {
  // A negative count lists nothing (read unsigned it would run for billions of turns).
  const uint32_t count = static_cast<uint32_t>(std::max(updateInfo_.ReadInt(kDeleteSection, "DeleteCount", 0), 0));
  for (uint32_t index = 1; index <= count && index != 0 && !IsCancelled(); ++index) {
    const std::string name = updateInfo_.ReadString(kDeleteSection, std::to_string(index) + "_FileName", kAbsentName);
    if (name == kAbsentName) continue;
    // A name that leaves the installation folder would delete the player's other files.
    if (!IsSafeInstallName(name)) {
      SetStatusText(name + " " + LoadCatalogueString(kMessageUpdateFailed));
      continue;
    }
    DeletePath(platform::ResolvePath(platform::JoinPath(LauncherDir(), name)));
  }
}
