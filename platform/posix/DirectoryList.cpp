#include "platform/DirectoryList.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace platform {

std::optional<std::vector<std::string>> ListFileNames(const std::string& folder) {
  DIR* directory = opendir(folder.c_str());
  if (!directory) return std::nullopt;
  std::vector<std::string> names;
  bool complete = true;
  while (true) {
    errno = 0;
    const dirent* entry = readdir(directory);
    if (!entry) {
      complete = errno == 0;
      break;
    }
    const std::string name = entry->d_name;
    // The listing itself tells the kind of entry on most file systems; only the others are asked.
    struct stat info {};
    if (entry->d_type == DT_REG ||
        (entry->d_type == DT_UNKNOWN && fstatat(dirfd(directory), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISREG(info.st_mode)))
      names.push_back(name);
  }
  closedir(directory);
  if (!complete) return std::nullopt;
  return names;
}

}  // namespace platform
