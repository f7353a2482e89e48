#include "platform/Path.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/FileSystem.h"

namespace platform {

namespace {

using Kind = LookupMemo::Kind;

// The kind of the entry at `path` itself, from the memo when it has it.
Kind KindOf(const std::string& path, LookupMemo* memo) {
  if (memo)
    if (const auto found = memo->kinds.find(path); found != memo->kinds.end()) return found->second;
  struct stat info;
  Kind kind = Kind::Other;
  if (lstat(path.c_str(), &info) != 0)
    kind = errno == ENOENT || errno == ENOTDIR ? Kind::Missing : Kind::Unreadable;
  else if (S_ISLNK(info.st_mode))
    kind = Kind::Link;
  else if (S_ISDIR(info.st_mode))
    kind = Kind::Folder;
  if (memo) memo->kinds.emplace(path, kind);
  return kind;
}

bool Exists(const std::string& path, LookupMemo* memo) {
  const Kind kind = KindOf(path, memo);
  return kind != Kind::Missing && kind != Kind::Unreadable;
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
std::string FindCaseInsensitive(const std::string& folder, const std::string& name, LookupMemo* memo) {
  LookupMemo once;
  auto [listing, isNew] = (memo ? memo : &once)->namesByFolder.try_emplace(folder);
  if (isNew) listing->second = EntryNames(folder);
  for (const std::string& entry : listing->second)
    if (strcasecmp(entry.c_str(), name.c_str()) == 0) return entry;
  return {};
}

}  // namespace

bool IsFolder(const std::string& path, LookupMemo* memo) {
  const Kind kind = KindOf(path, memo);
  return kind == Kind::Folder || (kind == Kind::Link && IsDirectory(path));
}

bool IsAbsolutePath(std::string_view path) { return !path.empty() && (path[0] == '/' || path[0] == '\\'); }

std::string ResolvePath(std::string_view path, LookupMemo* memo) {
  std::string native = ToNativePath(path);
  if (native.empty() || Exists(native, memo)) return native;

  // Every name down to the deepest existing entry is right as written: the search for other
  // spellings starts below it, so a missing file costs one listing of its own folder only.
  size_t pos = 0;
  size_t knownMissing = native.size();  // the end of the shortest prefix already found missing
  for (size_t slash = native.rfind('/', native.size() - 1); slash != std::string::npos && slash > 0;
       slash = native.rfind('/', slash - 1)) {
    if (Exists(native.substr(0, slash), memo)) {
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
      if (stillResolving && component != "." && component != ".." &&
          (next == knownMissing || !Exists(candidate, memo))) {
        std::string match = FindCaseInsensitive(resolved, component, memo);
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
std::optional<bool> StaysInsideByName(std::string base, const std::string& native, LookupMemo* memo) {
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  if (base.empty() || base == "/" || native.size() <= base.size() + 1 || native.compare(0, base.size(), base) != 0 ||
      native[base.size()] != '/')
    return std::nullopt;
  for (size_t pos = base.size() + 1; pos <= native.size();) {
    size_t next = native.find('/', pos);
    if (next == std::string::npos) next = native.size();
    const std::string_view component(native.data() + pos, next - pos);
    if (component.empty() || component == "." || component == "..") return std::nullopt;
    const Kind kind = KindOf(native.substr(0, next), memo);
    if (kind == Kind::Unreadable || kind == Kind::Link) return std::nullopt;
    if (kind == Kind::Missing) {
      // Nothing below a missing entry exists, so nothing there is a link; only base must exist
      // as a folder (an entry found inside it shows that it does).
      if (pos > base.size() + 1 || IsFolder(base, memo)) return true;
      return std::nullopt;
    }
    pos = next + 1;
  }
  return true;
}

}  // namespace

bool StaysInside(const std::string& base, const std::string& path, LookupMemo* memo) {
  if (const std::optional<bool> inside = StaysInsideByName(base, ToNativePath(path), memo)) return *inside;
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
