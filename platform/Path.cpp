#include "platform/Path.h"

// The name rules shared by every system; what asks the file system is in the platform folders.

namespace platform {

std::string ToNativePath(std::string_view name) {
  std::string native(name);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string native = ToNativePath(name);
  size_t start = native.find_first_not_of('/');
  native.erase(0, start == std::string::npos ? native.size() : start);
  std::string joined(ToNativePath(folder));
  if (joined.empty()) return native;
  if (joined.back() != '/') joined += '/';
  return joined + native;
}

std::string ParentOf(std::string_view path) {
  std::string native = ToNativePath(path);
  size_t slash = native.rfind('/');
  if (slash == std::string::npos) return {};
  return native.substr(0, slash);
}

std::string FileNameOf(std::string_view path) {
  std::string native = ToNativePath(path);
  size_t slash = native.rfind('/');
  return slash == std::string::npos ? native : native.substr(slash + 1);
}

std::optional<int> RelativeNameDepth(std::string_view relativeName) {
  std::string native = ToNativePath(relativeName);
  if (!native.empty() && native[0] == '/') return std::nullopt;
  if (native.size() >= 2 && native[1] == ':') return std::nullopt;  // a drive letter
  int depth = 0;
  size_t pos = 0;
  while (pos <= native.size()) {
    size_t next = native.find('/', pos);
    if (next == std::string::npos) next = native.size();
    std::string_view component(native.data() + pos, next - pos);
    if (component == "..") {
      if (--depth < 0) return std::nullopt;
    } else if (!component.empty() && component != ".") {
      ++depth;
    }
    pos = next + 1;
  }
  return depth;
}

bool EscapesBase(std::string_view relativeName) {
  return !relativeName.empty() && !RelativeNameDepth(relativeName);
}

}  // namespace platform
