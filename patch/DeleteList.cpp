// Files that the installation no longer needs, listed by the server in the Delete section.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "patch/PatchEngine.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kDeleteSection = "Delete";
constexpr const char* kAbsentName = "Test.SPF";

}  // namespace

void PatchEngine::DeleteListedFiles() {
  // A negative count lists nothing (read unsigned it would run for billions of turns).
  const int32_t count = std::max(updateInfo_.ReadInt(kDeleteSection, "DeleteCount", 0), 0);
  for (const uint32_t index : updateInfo_.PresentIndices(kDeleteSection, static_cast<uint32_t>(count))) {
    if (IsCancelled()) break;
    const std::string name = updateInfo_.ReadString(kDeleteSection, std::to_string(index) + "_FileName", kAbsentName);
    if (name == kAbsentName) continue;
    // A name that leaves the installation folder would delete the player's other files.
    const std::optional<std::string> path = InstallPath(name);
    if (!path) {
      RecordUnusableName(name);
      continue;
    }
    if (IsLaunchersOwnRecord(*path)) continue;
    DeleteUnwantedFile(*path, name);
  }
}

void PatchEngine::DeleteUnwantedFile(const std::string& path, const std::string& shownName) {
  if (!PathExists(path)) return;
  const bool deleted = DeletePath(path);
  // The player sees what the update took away, and what it could not.
  AnnounceLine(shownName + " " + LoadCatalogueString(deleted ? kMessageFileDeleted : kMessageFileNotDeleted));
}
