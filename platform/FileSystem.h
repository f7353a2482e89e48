#pragma once
// File-system operations the engine needs, on native paths (see platform/Path.h).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace platform {

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
// The size of a file; none when it cannot be read.
std::optional<int64_t> FileSizeOf(const std::string& path);

// Creates one folder; true when it exists afterwards.
bool MakeDirectory(const std::string& path);
// Removes a file, or a folder with everything in it. True when nothing is left.
bool RemoveTree(const std::string& path);

// Free bytes of the file system holding `path` (the nearest existing ancestor is asked), counting
// blocks reserved for the administrator too; none when the system does not answer.
std::optional<uint64_t> FreeDiskSpace(const std::string& path);
// Tests replace the free-space call; an empty function restores the real one.
void SetFreeDiskSpaceForTesting(std::function<std::optional<uint64_t>(const std::string&)> query);

// Puts `source` in place of `destination` so that the destination is at every moment either
// the old file or the complete new one: the source is renamed when both lie on one file
// system, else copied to a sibling of the destination that is synced and renamed over it.
// The source is left in place only when it was copied. `programMode` makes the result
// executable by its owner.
bool ReplaceFile(const std::string& source, const std::string& destination, bool programMode);

// Copies `source` to `destination`, replacing an existing file there, and syncs the copy;
// `programMode` makes the copy executable. False, with no destination left behind, on failure.
bool CopyFileTo(const std::string& source, const std::string& destination, bool programMode);

// True when `path` and `other` (or, for a path that does not exist yet, its nearest existing
// folder) lie on one file system, so that a rename moves the file without writing it again.
bool OnSameFileSystem(const std::string& path, const std::string& other);

// Lets the file be run as a program (a downloaded file arrives as plain data).
bool MakeExecutable(const std::string& path);

// True when a file starts like a program (the ELF magic or "#!").
bool LooksLikeProgram(const std::string& path);

}  // namespace platform
