#pragma once
// Listing the plain files of one folder.

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The names of the regular files directly inside `folder` (no subfolders, no recursion), in no
// particular order. None when the folder cannot be read to its end.
std::optional<std::vector<std::string>> ListFileNames(const std::string& folder);

}  // namespace platform
