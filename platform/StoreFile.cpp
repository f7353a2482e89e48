#include "platform/StoreFile.h"

// The naming shared by every system; what reads, writes and renames is in the platform folders.

namespace platform {

std::string AsideName(const std::string& path, std::string_view tag, const std::string& stamp,
                      bool (*taken)(const std::string& name)) {
  const std::string base = path + "." + std::string(tag) + "-" + stamp;
  std::string target = base;
  for (int counter = 1; taken(target); ++counter) {
    if (counter > 1000) return {};
    target = base + "-" + std::to_string(counter);
  }
  return target;
}

}  // namespace platform
