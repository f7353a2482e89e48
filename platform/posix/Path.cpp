#include "platform/Path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

namespace platform {

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> EntryNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  return names;
}

// An entry of `folder` whose name equals `name` ignoring ASCII case (the first one listed), or
// empty.
std::string FindCaseInsensitive(const std::string& folder, const std::string& name, FolderListings* listings) {
  FolderListings once;
  auto [listing, isNew] = (listings ? listings : &once)->namesByFolder.try_emplace(folder);
  if (isNew) listing->second = EntryNames(folder);
  for (const std::string& entry : listing->second)
    if (strcasecmp(entry.c_str(), name.c_str()) == 0) return entry;
  return {};
}

}  // namespace

bool IsAbsolutePath(std::string_view path) { return !path.empty() && (path[0] == '/' || path[0] == '\\'); }

std::string ResolvePath(std::string_view path, FolderListings* listings) {
  std::string native = ToNativePath(path);
  if (native.empty() || Exists(native)) return native;

  // Every name down to the deepest existing entry is right as written: the search for other
  // spellings starts below it, so a missing file costs one listing of its own folder only.
  size_t pos = 0;
  size_t knownMissing = native.size();  // the end of the shortest prefix already found missing
  for (size_t slash = native.rfind('/', native.size() - 1); slash != std::string::npos && slash > 0;
       slash = native.rfind('/', slash - 1)) {
    if (Exists(native.substr(0, slash))) {
      pos = slash + 1;
      break;
    }
    knownMissing = slash;
  }
  std::string resolved;
  for (size_t i = 0; i < pos; ++i)
    if (native[i] != '/' || resolved.empty() || resolved.back() != '/') resolved += native[i];
  if (pos == 0 && native[0] == '/') {
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
      if (stillResolving && component != "." && component != ".." && (next == knownMissing || !Exists(candidate))) {
        std::string match = FindCaseInsensitive(resolved, component, listings);
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

namespace {

// Decides without resolving links when `native` is `base` followed by plain names ("." and ".."
// are not) of which no existing one is a link: its real place is then below base's, wherever
// base itself lies. None when a link or an unusual name leaves it to the full resolution.
std::optional<bool> StaysInsideByName(std::string base, const std::string& native) {
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base.empty() || base == "/" || native.size() <= base.size() + 1 || native.compare(0, base.size(), base) != 0 ||
      native[base.size()] != '/')
    return std::nullopt;
  struct stat info;
  for (size_t pos = base.size() + 1; pos <= native.size();) {
    size_t next = native.find('/', pos);
    if (next == std::string::npos) next = native.size();
    const std::string_view component(native.data() + pos, next - pos);
    if (component.empty() || component == "." || component == "..") return std::nullopt;
    if (lstat(native.substr(0, next).c_str(), &info) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) return std::nullopt;
      // Nothing below a missing entry exists, so nothing there is a link; only base must exist
      // (an entry found inside it shows that it does).
      if (pos > base.size() + 1 || (stat(base.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) return true;
      return std::nullopt;
    }
    if (S_ISLNK(info.st_mode)) return std::nullopt;
    pos = next + 1;
  }
  return true;
}

}  // namespace

bool StaysInside(const std::string& base, const std::string& path) {
  if (const std::optional<bool> inside = StaysInsideByName(base, ToNativePath(path))) return *inside;
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
