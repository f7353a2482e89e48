#pragma once
// Whole-file reads and crash-safe replacement for the small text stores (profile files, the
// registry): a store is always either its old or its new contents on disk, never half of one.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

enum class FileReadStatus { Ok, Missing, Failed };

// Reads the whole file into `contents`. Missing = the file (or its folder) does not exist; on
// Failed errno tells why (EISDIR for a folder).
FileReadStatus ReadWholeFile(const std::string& path, std::string& contents);

// Writes `contents` to a new sibling file, flushes it to disk and renames it over `path`, so
// readers and a crash see either the old or the new file. An existing file keeps its permission
// bits; a symbolic link is followed and its target replaced. False when any step fails, in which
// case `path` is unchanged and the sibling is removed.
bool ReplaceFileContents(const std::string& path, std::string_view contents);

// Creates `folder` and any missing parents. True when the folder exists afterwards.
bool CreateFolders(const std::string& folder);

// Renames an existing file to "<path>.<tag>-<local time>" (with a counter when that name is
// taken) so that it is kept but out of the way. Returns the new name, empty on failure.
std::string MoveFileAside(const std::string& path, std::string_view tag);

// The name MoveFileAside gives: "<path>.<tag>-<stamp>", with "-<counter>" added while `taken`
// says the name is in use. Empty when a thousand counters are taken too.
std::string AsideName(const std::string& path, std::string_view tag, const std::string& stamp,
                      bool (*taken)(const std::string& name));

// An exclusive advisory lock held for the life of the object; it serialises threads and
// processes alike, and the system drops it when the holder dies. The lock file is created when
// missing and never removed. Blocks until the lock is granted.
class ExclusiveFileLock {
 public:
  explicit ExclusiveFileLock(const std::string& lockPath);
  ~ExclusiveFileLock();
  ExclusiveFileLock(const ExclusiveFileLock&) = delete;
  ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

  bool locked() const;

 private:
  intptr_t descriptor_ = -1;  // a file descriptor; on Windows the handle of the lock
};

}  // namespace platform
