#include "platform/Path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

std::string ToNativePath(std::string_view name) {
  std::string native(name);
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// An entry of `folder` whose name equals `name` ignoring ASCII case, or empty.
std::string FindCaseInsensitive(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return {};
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

std::string ResolvePath(std::string_view path) {
  std::string native = ToNativePath(path);
  if (native.empty() || Exists(native)) return native;

  std::string resolved;
  size_t pos = 0;
  if (native[0] == '/') {
    resolved = "/";
    pos = 1;
  }
  bool stillResolving = true;
  while (pos <= native.size()) {
    size_t next = native.find('/', pos);
    if (next == std::string::npos) next = native.size();
    std::string component = native.substr(pos, next - pos);
    if (!component.empty()) {
      std::string candidate = resolved + component;
      if (stillResolving && component != "." && component != ".." && !Exists(candidate)) {
        std::string match = FindCaseInsensitive(resolved, component);
        if (!match.empty())
          candidate = resolved + match;
        else
          stillResolving = false;  // nothing below a missing folder can exist
      }
      resolved = candidate;
      if (next < native.size()) resolved += '/';
    } else if (next < native.size() && !resolved.empty() && resolved.back() != '/') {
      resolved += '/';
    }
    pos = next + 1;
  }
  return resolved;
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

bool StaysInside(const std::string& base, const std::string& path) {
  char* realBase = realpath(base.c_str(), nullptr);
  if (!realBase) return false;
  std::string root(realBase);
  free(realBase);
  if (root.back() != '/') root += '/';

  std::string native = ToNativePath(path);
  struct stat info;
  if (lstat(native.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) return false;
  // The deepest existing ancestor decides: below it nothing exists yet, so nothing can be a link.
  std::string existing = native;
  while (!existing.empty() && lstat(existing.c_str(), &info) != 0) existing = ParentOf(existing);
  if (existing.empty()) return false;
  char* real = realpath(existing.c_str(), nullptr);
  if (!real) return false;
  std::string resolved(real);
  free(real);
  if (resolved.back() != '/') resolved += '/';
  return resolved.compare(0, root.size(), root) == 0;
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) return {};
  return std::string(buffer.data(), static_cast<size_t>(length));
}

}  // namespace platform
