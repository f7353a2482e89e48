#pragma once
// The update-information file ("Update.NFO") that the patch server announces: sections of
// key=value lines, held as one table and consulted through typed reads with defaults.
//
// Parsing replaces the whole table at once; the reads may then be called from any thread, also
// while another parse is under way (they see the old table or the new one, never a mixture).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class UpdateInfo {
 public:
  // The longest text that ReadString gives; longer values and defaults are cut to it.
  static constexpr size_t kMaxStringLength = 259;

  // Replaces the entries by those of `text` (see the .cpp for the line rules). `cancelled` is
  // polled every few hundred lines; a cancelled parse leaves the table empty and returns false.
  bool Parse(std::string_view text, const std::function<bool()>& cancelled = {});

  // The path under which the file was fetched. Until it is set every read gives its default.
  void SetLoadedPath(const std::string& path);
  std::string LoadedPath() const;

  // Number of entries held by the table.
  size_t EntryCount() const;

  // The entry section+key converted by ConvertDecimal, or `defaultValue` when it is missing or
  // nothing is loaded.
  int32_t ReadInt(std::string_view section, std::string_view key, int32_t defaultValue) const;
  // The entry section+key as written, or `defaultValue` when it is missing or nothing is
  // loaded; at most kMaxStringLength characters.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;

  // The indices from 1 to `count` (unsigned) that have at least one "<index>_<key>" entry in
  // `section`, ascending. A list's count is only the file's claim; the steps walk these indices,
  // so a count of two billion costs no more than the entries really written.
  std::vector<uint32_t> PresentIndices(std::string_view section, uint32_t count) const;

  // True when the file is acceptable for an update: it was loaded, both SolaneLauncher and
  // SolaneClient announce a VersionMajorHigh, Resource ResourceCount is above 0 and every
  // announced pack has a version of 1 or more. A cancel stops the pack loop with false.
  bool IsProper(const std::function<bool()>& cancelled = {}) const;

 private:
  using Table = std::unordered_map<std::string, std::string>;
  // The current table, or nothing when no file is loaded.
  std::shared_ptr<const Table> LoadedTable() const;

  mutable std::mutex lock_;  // guards the two members below; lookups run outside it
  std::shared_ptr<const Table> table_ = std::make_shared<const Table>();
  std::string loadedPath_;
};

// Decimal text as the file's integers are read: leading white space skipped, an optional sign,
// then digits up to the first other character; no digits give 0; values beyond the 32-bit range
// give its nearest end.
int32_t ConvertDecimal(std::string_view text);

// The patch server's body as UTF-8 text. A body that is UTF-8 already is kept (a byte-order mark
// removed); any other is taken to be in the Windows code page of `locale` (1 Korea: CP949,
// 2 Japan: CP932, 3 China: CP936, anything else: CP1252) and converted.
std::string DecodeServerText(std::string_view body, int locale);

// True when a file name from the update information may be used below the installation folder:
// not empty, no NUL, not absolute, no drive letter, and naming something inside the folder
// ("\" and "/" both separate; ".." may not climb out, nor end at the folder itself).
bool IsSafeInstallName(std::string_view name);
