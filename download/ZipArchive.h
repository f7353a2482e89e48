#pragma once
// Reading zip archives of patch files and unpacking their entries into a base directory.
// Every operation returns a 32-bit result code (0 = success) and also records it as the
// process-wide last result; nothing is thrown.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Result codes and, in ZipResultText, their texts.
inline constexpr uint32_t kZipSuccess = 0x00000000;
inline constexpr uint32_t kZipNoDuplicate = 0x00000100;
inline constexpr uint32_t kZipNoFile = 0x00000200;
inline constexpr uint32_t kZipNoAlloc = 0x00000300;
inline constexpr uint32_t kZipWrite = 0x00000400;
inline constexpr uint32_t kZipNotFound = 0x00000500;
inline constexpr uint32_t kZipMore = 0x00000600;
inline constexpr uint32_t kZipCorrupt = 0x00000700;
inline constexpr uint32_t kZipRead = 0x00000800;
inline constexpr uint32_t kZipPassword = 0x00001000;
inline constexpr uint32_t kZipArgs = 0x00010000;
inline constexpr uint32_t kZipNotMemory = 0x00020000;
inline constexpr uint32_t kZipMemorySize = 0x00030000;
inline constexpr uint32_t kZipFailed = 0x00040000;
inline constexpr uint32_t kZipEnded = 0x00050000;
inline constexpr uint32_t kZipMissize = 0x00060000;
inline constexpr uint32_t kZipPartialUnzip = 0x00070000;
inline constexpr uint32_t kZipZipMode = 0x00080000;
inline constexpr uint32_t kZipNotInitialised = 0x01000000;
inline constexpr uint32_t kZipSeek = 0x02000000;
inline constexpr uint32_t kZipNoChange = 0x04000000;
inline constexpr uint32_t kZipFlate = 0x05000000;

// Asking for the text of this code gives the text of the last result.
inline constexpr uint32_t kZipLastResult = 1;

// The archive name under which a patch file is delivered: the text before its first "." and
// ".zip" ("Data.SPF" gives "Data.zip", "a.b.c" gives "a.zip"); empty when the name is empty,
// has no "." or begins with one.
std::string ZipNameFor(const std::string& name);

// Copies the text of `code` into buffer (at most length - 1 characters and a terminator; nothing
// when buffer is null or length is 0) and returns the full length of the text.
size_t ZipResultText(uint32_t code, char* buffer, size_t length);
std::string ZipResultText(uint32_t code);

// The last result code of any zip operation in the process.
uint32_t ZipLastResult();

// The name of an archive entry made safe to extract under a base directory: drive prefixes
// ("C:") and leading "\" or "/" are removed, "." steps dropped and ".." steps resolved within
// the name, a ".." that would climb above the name's start being dropped. The result never
// begins with a separator, a drive or a ".." step; a trailing separator is kept. Separators
// keep their own kind ("\" or "/").
std::string SafeEntryName(const std::string& storedName);

struct ZipEntryInfo {
  int32_t index = -1;       // entry number; for a request of index -1 the number of entries
  std::string name;         // stored name after SafeEntryName, at most 259 characters
  uint32_t attributes = 0;  // Win32 attribute bits (platform/FileAttributes.h)
  uint64_t accessTime = 0;  // 100-ns file times since 1601, UTC
  uint64_t creationTime = 0;
  uint64_t writeTime = 0;
  uint64_t compressedSize = 0;  // the archive's 32-bit fields (no ZIP64)
  uint64_t size = 0;
};

class ZipArchive {
 public:
  // Opens an archive file; data in front of the archive and a comment behind it are allowed.
  // The base directory starts as the current directory. Null, with last result 0x200, when the
  // file cannot be read or holds no readable archive (an HTML error page, for example), and
  // with 0x700 when two entries' local headers and data share bytes or one reaches into the
  // central directory (records pointing at one shared header unpack a small file many times).
  static std::unique_ptr<ZipArchive> Open(const std::string& path);

  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Relative target names are extracted under dir ("\" or "/" separated, any length). An empty
  // dir gives 0x10000 and keeps the previous one.
  uint32_t SetBaseDir(const std::string& dir);
  const std::string& BaseDir() const { return baseDir_; }

  // `cancelled` is asked on the thread that calls ExtractEntry, before each piece of a file
  // entry's data is read or inflated (at most 64 KiB each); when it answers true, ExtractEntry
  // stops with 0x600 and leaves no file. An empty function (the default) never cancels. Kept
  // until replaced; set it before extracting, not during an ExtractEntry on another thread.
  void SetCancelTest(std::function<bool()> cancelled);

  // Fills info for entry index (0-based); index -1 gives the number of entries in info.index.
  // 0x10000 for an index out of range, 0x700 for an entry whose records disagree, whose
  // compression is neither stored nor deflated or whose stored name holds a NUL byte.
  uint32_t GetEntry(int32_t index, ZipEntryInfo& info);

  // Extracts entry index to targetName: relative to the base directory, or absolute when it
  // begins with "\" or "/". Missing folders are created. A directory entry (directory attribute
  // or a name ending in a separator) only creates its folder. A file is written under a
  // temporary name beside the target, checked against its CRC-32, given the entry's times and
  // attributes and then renamed into place, so the target name never holds a partial file.
  // Symbolic link entries are written as regular files holding the link text. The first call
  // after Open or SetBaseDir adds up the sizes all entries declare and, before writing
  // anything, refuses with 0x400 when the total exceeds the free space of the base directory's
  // file system or the system does not tell it; later calls do not ask again.
  // Results: 0x10000 for an index out of range, a target holding a NUL byte, or a relative
  // target that climbs above the base directory or names a drive; 0x1000 for an encrypted
  // entry; 0x200 when the file or a folder cannot be created; 0x400 on a write failure or short
  // space; 0x600 when the cancel test stopped it; 0x700 as from GetEntry or on a CRC-32
  // mismatch; 0x60000 when the data unpacks to more than the entry's declared size (stopped
  // there); 0x5000000 for other damaged data.
  uint32_t ExtractEntry(int32_t index, const std::string& targetName);

  // Closes the archive file; every later operation gives 0x10000.
  uint32_t Close();

 private:
  struct CentralRecord;
  struct LocalEntry;

  ZipArchive() = default;
  bool ReadDirectory(const std::string& path);
  bool EntriesAreDisjoint();
  uint32_t ReadEntry(int32_t index, ZipEntryInfo& info, LocalEntry& local);
  uint32_t ExtractFile(const ZipEntryInfo& info, const LocalEntry& local, const std::string& target);
  uint32_t CopyEntryData(const ZipEntryInfo& info, const LocalEntry& local, std::FILE* out);
  bool ReadAt(uint64_t offset, void* data, size_t size);

  std::FILE* file_ = nullptr;
  uint64_t fileSize_ = 0;
  uint64_t bias_ = 0;  // bytes in front of the archive
  uint64_t directoryStart_ = 0;
  std::string baseDir_;
  std::vector<uint8_t> directory_;  // the central directory as read
  std::vector<size_t> recordOffsets_;  // where each entry's record starts in directory_
  uint32_t entryCount_ = 0;
  uint64_t declaredTotal_ = 0;  // the sizes all readable records declare, added up
  bool spaceConfirmed_ = false;  // declaredTotal_ fits the base directory's file system
  std::function<bool()> cancelled_;
  int32_t lastIndex_ = -1;
  ZipEntryInfo lastInfo_;
  std::vector<uint8_t> inBuffer_;
  std::vector<uint8_t> outBuffer_;
  struct Inflater;
  std::unique_ptr<Inflater> inflater_;
};
