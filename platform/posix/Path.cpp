#include "platform/Path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace platform {

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

bool IsAbsolutePath(std::string_view path) { return !path.empty() && (path[0] == '/' || path[0] == '\\'); }

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
