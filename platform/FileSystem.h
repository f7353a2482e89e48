#pragma once
// File-system operations the engine needs, on native paths (see platform/Path.h).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace platform {

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
// The size of a file; none when it cannot be read.
std::optional<int64_t> FileSizeOf(const std::string& path);

// Creates one folder; true when it exists afterwards. Otherwise errno tells why the folder
// could not be made.
bool MakeDirectory(const std::string& path);

// Opens a file as std::fopen does (`mode` "rb", "r+b", "wbx" ...) by its UTF-8 path: on Windows a
// plain std::fopen reads the path in the system's code page and misses a folder named in Korean.
// "x" creates the file only when none is there.
std::FILE* OpenFile(const std::string& path, const char* mode);

// Cuts an open file to its first `size` bytes and goes on writing at its end. False on failure.
bool CutOpenFile(std::FILE* file, int64_t size);
// Moves an open file's position to `offset` from its start; and the length of an open file, or -1.
// A `long` is 32 bits on Windows, so std::fseek and std::ftell stop at 2 GiB there.
bool SeekOpenFile(std::FILE* file, int64_t offset);
int64_t OpenFileLength(std::FILE* file);
// Removes a file, or a folder with everything in it. True when nothing is left.
bool RemoveTree(const std::string& path);

// Bytes of the file system holding `path` (the nearest existing ancestor is asked) that an
// unprivileged process may still use, so without the blocks reserved for the administrator;
// none when the system does not answer.
std::optional<uint64_t> FreeDiskSpace(const std::string& path);
// Tests replace the free-space call; an empty function restores the real one.
void SetFreeDiskSpaceForTesting(std::function<std::optional<uint64_t>(const std::string&)> query);

// Puts `source` in place of `destination` so that the destination is at every moment, a crash
// included, either the old file or the complete new one with its final mode (0755 with
// `programMode`, else 0644): the mode is set and the data flushed to disk before the new file
// takes the destination's name, and the folder is flushed after, so the change survives a
// crash once this returns true. The source is renamed when both lie on one file system, else
// copied to a sibling of the destination that is renamed over it; the source is left in place
// only when it was copied. False when any step fails.
bool ReplaceFile(const std::string& source, const std::string& destination, bool programMode);

// Copies `source` to `destination`, replacing an existing file there, with its final mode set
// (0755 with `programMode`, else 0644) and data and folder flushed to disk. False, with no
// destination left behind, on failure.
bool CopyFileTo(const std::string& source, const std::string& destination, bool programMode);

// Flushes the folder's list of names to disk, so that a file renamed or created in it is still
// there after a crash.
bool SyncFolder(const std::string& folder);

// True when `path` and `other` (or, for a path that does not exist yet, its nearest existing
// folder) lie on one file system, so that a rename moves the file without writing it again.
bool OnSameFileSystem(const std::string& path, const std::string& other);

// Lets the file be run as a program (a downloaded file arrives as plain data); on Windows every
// file may run already.
bool MakeExecutable(const std::string& path);

// Reads the file from its start in pieces of at most `pieceSize` bytes and hands each to
// `consume`, which ends the reading early by returning false. True when the reading ended at the
// file's end or at consume's wish; false when the file cannot be opened or read, or `cancelled`
// answers true: a digest of part of a file must never pass for the file's.
bool ReadFileInPieces(const std::string& path, size_t pieceSize, const std::function<bool()>& cancelled,
                      const std::function<bool(const uint8_t* piece, size_t size)>& consume);

// True when a file starts like a program (the ELF magic or "#!"; on Windows "MZ").
bool LooksLikeProgram(const std::string& path);

}  // namespace platform
