#pragma once
// std::filesystem paths from the launcher's UTF-8 paths and back. On Windows a path made from a
// plain std::string is read in the system's code page, which turns a folder named in Korean into
// question marks; char8_t text is UTF-8 on every system.
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

inline std::filesystem::path FileSystemPath(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8PathOf(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace platform
