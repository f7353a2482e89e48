#pragma once
// The file version of a local executable, as two 32-bit words: high = major high << 16 | major
// low, low = minor high << 16 | minor low. It is read from a Windows program's version resource
// (the fixed file information of its VERSIONINFO) or from a Linux program's ".note.solane.version"
// ELF note (see VersionNoteDefine.h). Both words 0 mean that no version is known.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

struct VersionWords {
  uint32_t high = 0;
  uint32_t low = 0;
};

// The version recorded in the file at `path`; nothing when the file cannot be read or carries
// neither form. Damaged or hostile files give nothing too: every offset is checked.
std::optional<VersionWords> ReadVersionWords(const std::string& path);
// The same for a file image held in memory.
std::optional<VersionWords> ReadVersionWords(std::span<const uint8_t> image);

// Rewrites the version words of the file's existing version record in place. False (and the
// file unchanged) when the file has no record or cannot be written.
bool StampFileVersion(const std::string& path, uint32_t ms, uint32_t ls);

// One version word from two announced parts: high × 65536 + (low mod 65536), in 32 bits.
uint32_t ComposeVersionWord(int32_t high, int32_t low);

class FileVersion {
 public:
  // An empty path stands for the running program's own executable.
  explicit FileVersion(std::string path = {}) : path_(std::move(path)) {}

  // Names another file; its version is read on the next use.
  void SetPath(const std::string& path);

  // True when the file needs the announced version: its version is unknown, or either word
  // differs from the announced parts (a newer file differs too).
  bool Differs(int32_t majorHigh, int32_t majorLow, int32_t minorHigh, int32_t minorLow);

  // major high, major low, minor high, minor low; all 0 when no version is known.
  std::array<uint32_t, 4> GetParts();

  // The two words, both 0 when no version is known.
  VersionWords Words();

 private:
  // Reads the file while no version is known: a file replaced meanwhile is read afresh.
  void ReadIfUnknown();

  std::string path_;
  VersionWords words_;
};
