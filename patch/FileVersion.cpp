#include "patch/FileVersion.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace {

// Random access to a file's bytes; every read is checked against the end.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual bool Read(uint64_t offset, void* out, size_t size) = 0;

  template <typename T>
  bool ReadUnsigned(uint64_t offset, bool bigEndian, T& value) {
    uint8_t bytes[sizeof(T)];
    if (!Read(offset, bytes, sizeof bytes)) return false;
    value = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
      value |= static_cast<T>(bytes[bigEndian ? sizeof(T) - 1 - i : i]) << (8 * i);
    return true;
  }
  bool U16(uint64_t offset, uint16_t& value, bool bigEndian = false) { return ReadUnsigned(offset, bigEndian, value); }
  bool U32(uint64_t offset, uint32_t& value, bool bigEndian = false) { return ReadUnsigned(offset, bigEndian, value); }
  bool U64(uint64_t offset, uint64_t& value, bool bigEndian = false) { return ReadUnsigned(offset, bigEndian, value); }
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> image) : image_(image) {}
  bool Read(uint64_t offset, void* out, size_t size) override {
    if (offset > image_.size() || size > image_.size() - offset) return false;
    if (size > 0) std::memcpy(out, image_.data() + offset, size);
    return true;
  }

 private:
  std::span<const uint8_t> image_;
};

bool SeekTo(std::FILE* file, uint64_t offset) {
  return offset <= static_cast<uint64_t>(LONG_MAX) && std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
}

class FileSource : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  bool Read(uint64_t offset, void* out, size_t size) override {
    return SeekTo(file_, offset) && std::fread(out, 1, size, file_) == size;
  }

 private:
  std::FILE* file_;
};

constexpr uint64_t kMaxVersionResourceSize = 1 << 20;
constexpr uint64_t kMaxNoteAreaSize = 1 << 20;
constexpr uint32_t kMaxDirectoryEntries = 4096;

// --- Windows PE: VERSIONINFO resource --------------------------------------------------------

constexpr uint32_t kResourceTypeVersion = 16;
constexpr uint32_t kFixedFileInfoSignature = 0xfeef04bd;
constexpr uint32_t kFixedFileInfoSize = 52;
constexpr uint32_t kHighBit = 0x80000000;

struct PeSection {
  uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

class PeImage {
 public:
  explicit PeImage(ByteSource& source) : source_(source) {}

  // The file offset of the version resource's dwFileVersionMS, followed by dwFileVersionLS.
  std::optional<uint64_t> LocateVersionWords() {
    uint32_t resourceRva;
    if (!ReadHeaders(resourceRva)) return std::nullopt;
    auto data = FindVersionData(resourceRva);
    if (!data) return std::nullopt;
    return FindFixedFileInfo(data->first, data->second);
  }

 private:
  bool ReadHeaders(uint32_t& resourceRva) {
    uint8_t magic[2];
    uint32_t peOffset, signature;
    if (!source_.Read(0, magic, 2) || magic[0] != 'M' || magic[1] != 'Z') return false;
    if (!source_.U32(0x3c, peOffset) || !source_.U32(peOffset, signature) || signature != 0x00004550)
      return false;
    const uint64_t coff = uint64_t{peOffset} + 4;
    uint16_t sectionCount, optionalSize, optionalMagic;
    if (!source_.U16(coff + 2, sectionCount) || !source_.U16(coff + 16, optionalSize)) return false;
    const uint64_t optional = coff + 20;
    if (!source_.U16(optional, optionalMagic)) return false;
    uint64_t countField, directories;
    if (optionalMagic == 0x10b) {
      countField = 92, directories = 96;
    } else if (optionalMagic == 0x20b) {
      countField = 108, directories = 112;
    } else {
      return false;
    }
    uint32_t directoryCount, resourceSize;
    const uint64_t resourceEntry = directories + 2 * 8;
    if (!source_.U32(optional + countField, directoryCount) || directoryCount < 3) return false;
    if (resourceEntry + 8 > optionalSize) return false;
    if (!source_.U32(optional + resourceEntry, resourceRva) ||
        !source_.U32(optional + resourceEntry + 4, resourceSize) || resourceRva == 0)
      return false;

    const uint64_t table = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
      PeSection section;
      const uint64_t header = table + uint64_t{i} * 40;
      if (!source_.U32(header + 8, section.virtualSize) || !source_.U32(header + 12, section.virtualAddress) ||
          !source_.U32(header + 16, section.rawSize) || !source_.U32(header + 20, section.rawOffset))
        return false;
      sections_.push_back(section);
    }
    return true;
  }

  // The file offset of `size` bytes at `rva`, when they lie in one section's file data.
  std::optional<uint64_t> RvaToOffset(uint64_t rva, uint64_t size) const {
    for (const PeSection& section : sections_) {
      if (rva < section.virtualAddress) continue;
      const uint64_t within = rva - section.virtualAddress;
      if (within + size <= section.rawSize) return uint64_t{section.rawOffset} + within;
    }
    return std::nullopt;
  }

  // One directory entry of the resource tree: its id (or name offset) and target.
  struct Entry {
    uint32_t name, target;
  };

  bool ReadEntries(uint64_t directoryRva, std::vector<Entry>& entries) {
    auto header = RvaToOffset(directoryRva, 16);
    uint16_t named, ids;
    if (!header || !source_.U16(*header + 12, named) || !source_.U16(*header + 14, ids)) return false;
    const uint32_t count = std::min<uint32_t>(uint32_t{named} + ids, kMaxDirectoryEntries);
    auto list = RvaToOffset(directoryRva + 16, uint64_t{count} * 8);
    if (!list) return false;
    entries.resize(count);
    for (uint32_t i = 0; i < count; ++i)
      if (!source_.U32(*list + i * 8, entries[i].name) || !source_.U32(*list + i * 8 + 4, entries[i].target))
        return false;
    return true;
  }

  // Type RT_VERSION, then its first name, then its first language: the resource's data
  // (file offset and size).
  std::optional<std::pair<uint64_t, uint32_t>> FindVersionData(uint32_t resourceRva) {
    std::vector<Entry> entries;
    if (!ReadEntries(resourceRva, entries)) return std::nullopt;
    const Entry* type = nullptr;
    for (const Entry& entry : entries)
      if (entry.name == kResourceTypeVersion && (entry.target & kHighBit)) type = &entry;
    if (!type) return std::nullopt;

    uint64_t directory = uint64_t{resourceRva} + (type->target & ~kHighBit);
    // The name level and the language level: the first entry of each.
    for (int level = 0; level < 2; ++level) {
      if (!ReadEntries(directory, entries) || entries.empty()) return std::nullopt;
      const bool expectDirectory = level == 0;
      if (((entries[0].target & kHighBit) != 0) != expectDirectory) return std::nullopt;
      directory = uint64_t{resourceRva} + (entries[0].target & ~kHighBit);
    }
    auto dataEntry = RvaToOffset(directory, 16);
    uint32_t dataRva, dataSize;
    if (!dataEntry || !source_.U32(*dataEntry, dataRva) || !source_.U32(*dataEntry + 4, dataSize))
      return std::nullopt;
    if (dataSize > kMaxVersionResourceSize) return std::nullopt;
    auto data = RvaToOffset(dataRva, dataSize);
    if (!data) return std::nullopt;
    return std::make_pair(*data, dataSize);
  }

  // VS_FIXEDFILEINFO sits on a four-byte boundary inside VS_VERSIONINFO, after its key.
  std::optional<uint64_t> FindFixedFileInfo(uint64_t dataOffset, uint32_t dataSize) {
    std::vector<uint8_t> data(dataSize);
    if (!source_.Read(dataOffset, data.data(), data.size())) return std::nullopt;
    MemorySource resource(data);
    for (uint64_t at = 0; at + kFixedFileInfoSize <= dataSize; at += 4) {
      uint32_t word;
      if (resource.U32(at, word) && word == kFixedFileInfoSignature) return dataOffset + at + 8;
    }
    return std::nullopt;
  }

  ByteSource& source_;
  std::vector<PeSection> sections_;
};

// --- Linux ELF: the version note -------------------------------------------------------------

constexpr char kNoteSectionName[] = ".note.solane.version";
constexpr char kNoteName[] = "Solane";  // with its NUL: 7 bytes
constexpr uint32_t kNoteType = 1;
constexpr uint32_t kSegmentTypeNote = 4;

class ElfImage {
 public:
  explicit ElfImage(ByteSource& source) : source_(source) {}

  // The file offset of the note's descriptor: the high word, then the low word.
  std::optional<uint64_t> LocateVersionWords() {
    if (!ReadHeader()) return std::nullopt;
    if (auto found = SearchSections()) return found;
    return SearchSegments();
  }

 private:
  bool ReadHeader() {
    uint8_t ident[16];
    if (!source_.Read(0, ident, sizeof ident) || std::memcmp(ident, "\x7f" "ELF", 4) != 0) return false;
    if (ident[4] != 1 && ident[4] != 2) return false;
    if (ident[5] != 1 && ident[5] != 2) return false;
    wide_ = ident[4] == 2;
    bigEndian_ = ident[5] == 2;
    if (wide_)
      return Address(0x20, programOffset_) && Address(0x28, sectionOffset_) && Half(0x36, programEntrySize_) &&
             Half(0x38, programCount_) && Half(0x3a, sectionEntrySize_) && Half(0x3c, sectionCount_) &&
             Half(0x3e, nameTableIndex_);
    return Address(0x1c, programOffset_) && Address(0x20, sectionOffset_) && Half(0x2a, programEntrySize_) &&
           Half(0x2c, programCount_) && Half(0x2e, sectionEntrySize_) && Half(0x30, sectionCount_) &&
           Half(0x32, nameTableIndex_);
  }

  bool Half(uint64_t offset, uint16_t& value) { return source_.U16(offset, value, bigEndian_); }
  bool Word(uint64_t offset, uint32_t& value) { return source_.U32(offset, value, bigEndian_); }
  // An address or size field: 64 bits wide in ELF64, 32 bits in ELF32.
  bool Address(uint64_t offset, uint64_t& value) {
    if (wide_) return source_.U64(offset, value, bigEndian_);
    uint32_t narrow;
    if (!Word(offset, narrow)) return false;
    value = narrow;
    return true;
  }

  struct Area {
    uint32_t type = 0, name = 0;
    uint64_t offset = 0, size = 0, align = 0;
  };

  bool ReadSection(uint16_t index, Area& section) {
    if (sectionEntrySize_ < (wide_ ? 64 : 40)) return false;
    const uint64_t header = sectionOffset_ + uint64_t{index} * sectionEntrySize_;
    if (wide_)
      return Word(header, section.name) && Word(header + 4, section.type) && Address(header + 24, section.offset) &&
             Address(header + 32, section.size) && Address(header + 48, section.align);
    return Word(header, section.name) && Word(header + 4, section.type) && Address(header + 16, section.offset) &&
           Address(header + 20, section.size) && Address(header + 32, section.align);
  }

  bool ReadSegment(uint16_t index, Area& segment) {
    if (programEntrySize_ < (wide_ ? 56 : 32)) return false;
    const uint64_t header = programOffset_ + uint64_t{index} * programEntrySize_;
    if (wide_)
      return Word(header, segment.type) && Address(header + 8, segment.offset) &&
             Address(header + 32, segment.size) && Address(header + 48, segment.align);
    return Word(header, segment.type) && Address(header + 4, segment.offset) && Address(header + 16, segment.size) &&
           Address(header + 28, segment.align);
  }

  std::optional<uint64_t> SearchSections() {
    Area names;
    if (sectionOffset_ == 0 || nameTableIndex_ >= sectionCount_ || !ReadSection(nameTableIndex_, names))
      return std::nullopt;
    for (uint16_t i = 0; i < sectionCount_; ++i) {
      Area section;
      if (!ReadSection(i, section)) return std::nullopt;
      char name[sizeof kNoteSectionName];
      if (section.name >= names.size || names.size - section.name < sizeof name) continue;
      if (names.offset + section.name < names.offset) continue;  // wraps around
      if (!source_.Read(names.offset + section.name, name, sizeof name)) continue;
      if (std::memcmp(name, kNoteSectionName, sizeof name) != 0) continue;
      if (auto found = SearchNotes(section)) return found;
    }
    return std::nullopt;
  }

  // Files whose section headers were stripped still have their note segments.
  std::optional<uint64_t> SearchSegments() {
    if (programOffset_ == 0) return std::nullopt;
    for (uint16_t i = 0; i < programCount_; ++i) {
      Area segment;
      if (!ReadSegment(i, segment)) return std::nullopt;
      if (segment.type != kSegmentTypeNote) continue;
      if (auto found = SearchNotes(segment)) return found;
    }
    return std::nullopt;
  }

  static uint64_t AlignUp(uint64_t value, uint64_t align) { return (value + align - 1) / align * align; }

  std::optional<uint64_t> SearchNotes(const Area& area) {
    if (area.size > kMaxNoteAreaSize || area.offset > UINT64_MAX - area.size) return std::nullopt;
    const uint64_t align = area.align == 8 ? 8 : 4;
    const uint64_t end = area.offset + area.size;
    for (uint64_t at = area.offset; end - at >= 12;) {
      uint32_t nameSize, descriptorSize, type;
      if (!Word(at, nameSize) || !Word(at + 4, descriptorSize) || !Word(at + 8, type)) return std::nullopt;
      const uint64_t name = at + 12;
      const uint64_t descriptor = name + AlignUp(nameSize, align);
      const uint64_t next = descriptor + AlignUp(descriptorSize, align);
      if (next > end) return std::nullopt;
      char noteName[sizeof kNoteName];
      if (nameSize == sizeof kNoteName && type == kNoteType && descriptorSize >= 8 &&
          source_.Read(name, noteName, sizeof noteName) && std::memcmp(noteName, kNoteName, sizeof noteName) == 0)
        return descriptor;
      at = next;
    }
    return std::nullopt;
  }

  ByteSource& source_;
  bool wide_ = false, bigEndian_ = false;
  uint64_t programOffset_ = 0, sectionOffset_ = 0;
  uint16_t programEntrySize_ = 0, programCount_ = 0, sectionEntrySize_ = 0, sectionCount_ = 0;
  uint16_t nameTableIndex_ = 0;
};

// Where the two little-endian version words lie in the file, in either form.
std::optional<uint64_t> LocateVersionWords(ByteSource& source) {
  if (auto found = PeImage(source).LocateVersionWords()) return found;
  return ElfImage(source).LocateVersionWords();
}

std::optional<VersionWords> ReadWordsAt(ByteSource& source, std::optional<uint64_t> offset) {
  VersionWords words;
  if (!offset || !source.U32(*offset, words.high) || !source.U32(*offset + 4, words.low)) return std::nullopt;
  return words;
}

}  // namespace

std::optional<VersionWords> ReadVersionWords(std::span<const uint8_t> image) {
  MemorySource source(image);
  return ReadWordsAt(source, LocateVersionWords(source));
}

std::optional<VersionWords> ReadVersionWords(const std::string& path) {
  std::FILE* file = platform::OpenFile(path, "rb");
  if (!file) return std::nullopt;
  FileSource source(file);
  auto words = ReadWordsAt(source, LocateVersionWords(source));
  std::fclose(file);
  return words;
}

bool StampFileVersion(const std::string& path, uint32_t ms, uint32_t ls) {
  std::FILE* file = platform::OpenFile(path, "r+b");
  if (!file) return false;
  FileSource source(file);
  bool stamped = false;
  if (auto offset = LocateVersionWords(source)) {
    uint8_t bytes[8];
    for (int i = 0; i < 4; ++i) {
      bytes[i] = static_cast<uint8_t>(ms >> (8 * i));
      bytes[4 + i] = static_cast<uint8_t>(ls >> (8 * i));
    }
    stamped = SeekTo(file, *offset) &&
              std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes && std::fflush(file) == 0;
  }
  return std::fclose(file) == 0 && stamped;
}

uint32_t ComposeVersionWord(int32_t high, int32_t low) {
  return (static_cast<uint32_t>(high) << 16) + (static_cast<uint32_t>(low) & 0xffff);
}

void FileVersion::SetPath(const std::string& path) {
  path_ = path;
  words_ = {};
}

void FileVersion::ReadIfUnknown() {
  if (words_.high != 0 || words_.low != 0) return;
  const std::string path = path_.empty() ? platform::ExecutablePath() : path_;
  if (path.empty()) return;
  words_ = ReadVersionWords(path).value_or(VersionWords{});
}

bool FileVersion::Differs(int32_t majorHigh, int32_t majorLow, int32_t minorHigh, int32_t minorLow) {
  const VersionWords installed = Words();
  if (installed.high == 0 && installed.low == 0) return true;
  return installed.low != ComposeVersionWord(minorHigh, minorLow) ||
         installed.high != ComposeVersionWord(majorHigh, majorLow);
}

std::array<uint32_t, 4> FileVersion::GetParts() {
  const VersionWords words = Words();
  return {words.high >> 16, words.high & 0xffff, words.low >> 16, words.low & 0xffff};
}

VersionWords FileVersion::Words() {
  ReadIfUnknown();
  return words_;
}
