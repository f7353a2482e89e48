#pragma once
// Path names as the launcher sees them. Names that come from files, servers and the command
// line may use "\" as separator; they are turned into native names here, and an existing entry
// is found regardless of letter case when the exact name is absent, as a Windows file system would.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace platform {

inline constexpr char kPathSeparator = '/';

// "\" becomes "/"; nothing else changes.
std::string ToNativePath(std::string_view name);

// What ResolvePath and StaysInside learn about existing entries during one pass of look-ups
// that writes nothing itself (each folder's names, each entry's kind): the system is then asked
// once per pass, not once per name. A pass that creates, renames or deletes entries must not
// keep one across its writes.
struct LookupMemo {
  enum class Kind { Missing, Unreadable, Link, Folder, Other };
  std::unordered_map<std::string, std::vector<std::string>> namesByFolder;
  std::unordered_map<std::string, Kind> kinds;  // by path, the entry itself (a link is not followed)
};

// The native form of `path`, with each component that does not exist with its exact letters
// replaced by an existing sibling that differs only in letter case. Components that have no
// such sibling are kept as written, so the result also serves for files about to be created.
std::string ResolvePath(std::string_view path, LookupMemo* memo = nullptr);

// True when `path` is a folder or a link to one (as IsDirectory), asking the system only what
// `memo` does not know yet.
bool IsFolder(const std::string& path, LookupMemo* memo);

// True when `path` names its place whole on this system: from the root ("/", "\"), or on Windows
// from a drive ("C:/", "C:\") or a share ("//server").
bool IsAbsolutePath(std::string_view path);

// Joins a folder and a (possibly "\"-separated) relative name with one separator.
std::string JoinPath(std::string_view folder, std::string_view name);

// The folder part of a path (before its last separator) and the name part (after it).
std::string ParentOf(std::string_view path);
std::string FileNameOf(std::string_view path);

// How many folders below its base a relative name ends ("a/b" 2, "a/.." 0); none when the name
// is absolute, starts with a drive letter or climbs above its base at any step.
std::optional<int> RelativeNameDepth(std::string_view relativeName);

// True when a name from a file or server is absolute or climbs above its base with a ".." step.
bool EscapesBase(std::string_view relativeName);

// True when `path`, which need not exist yet, stays inside the folder `base` once symbolic links
// are followed: the deepest existing folder on its way lies inside base's real path, and an
// existing last component is not a link. A link planted in the installation can then never
// carry a write or a deletion elsewhere.
bool StaysInside(const std::string& base, const std::string& path, LookupMemo* memo = nullptr);

// The full path of the running executable, empty when it cannot be read.
std::string ExecutablePath();

}  // namespace platform
