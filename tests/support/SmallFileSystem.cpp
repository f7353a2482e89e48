#include "tests/support/SmallFileSystem.h"

#include <sys/mount.h>

#include <filesystem>

SmallFileSystem::SmallFileSystem(const std::string& folder, size_t bytes) : folder_(folder) {
  std::error_code ignored;
  std::filesystem::create_directories(folder_, ignored);
  const std::string options = "size=" + std::to_string(bytes);
  mounted_ = mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
  if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
}
