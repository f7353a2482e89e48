#include "tools/publish/ElfVersionNote.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr char kSectionName[] = ".note.solane.version";
constexpr char kNoteName[] = "Solane";  // with its NUL: 7 bytes, padded to 8
constexpr uint32_t kNoteType = 1;
constexpr uint32_t kSectionTypeNote = 7;
constexpr uint16_t kFirstReservedIndex = 0xff00;  // section counts from here on live elsewhere

// An ELF file held in memory, read and written in its own byte order and width.
class ElfBytes {
 public:
  explicit ElfBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  bool ReadIdentity() {
    if (bytes_.size() < 64 || std::memcmp(bytes_.data(), "\x7f" "ELF", 4) != 0) return false;
    if ((bytes_[4] != 1 && bytes_[4] != 2) || (bytes_[5] != 1 && bytes_[5] != 2)) return false;
    wide_ = bytes_[4] == 2;
    bigEndian_ = bytes_[5] == 2;
    return true;
  }

  bool Wide() const { return wide_; }
  uint64_t Size() const { return bytes_.size(); }

  uint64_t Get(uint64_t offset, unsigned width) const {
    uint64_t value = 0;
    for (unsigned i = 0; i < width; ++i) value |= uint64_t{bytes_[offset + i]} << (8 * (bigEndian_ ? width - 1 - i : i));
    return value;
  }
  void Set(uint64_t offset, unsigned width, uint64_t value) {
    for (unsigned i = 0; i < width; ++i) bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * (bigEndian_ ? width - 1 - i : i)));
  }
  // An address-sized field: 8 bytes in ELF64, 4 in ELF32.
  unsigned AddressWidth() const { return wide_ ? 8 : 4; }

  void PadTo(uint64_t alignment) {
    while (bytes_.size() % alignment != 0) bytes_.push_back(0);
  }
  void Append(const uint8_t* data, size_t size) { bytes_.insert(bytes_.end(), data, data + size); }
  void AppendZeros(size_t size) { bytes_.insert(bytes_.end(), size, 0); }
  void Put(uint64_t offset, const void* data, size_t size) { std::memcpy(bytes_.data() + offset, data, size); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  bool wide_ = false, bigEndian_ = false;
};

// Field offsets of the file header and of one section header, by width.
struct Layout {
  uint64_t shoff, shentsize, shnum, shstrndx;                  // in the file header
  uint64_t name, type, offset, size, align, entrySize;        // in a section header
};
constexpr Layout kLayout64{0x28, 0x3a, 0x3c, 0x3e, 0, 4, 24, 32, 48, 64};
constexpr Layout kLayout32{0x20, 0x2e, 0x30, 0x32, 0, 4, 16, 20, 32, 40};

}  // namespace

bool IsElfFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char magic[4] = {};
  return in.read(magic, sizeof magic) && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
}

std::string AddElfVersionNote(const std::string& path, uint32_t high, uint32_t low) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return path + ": cannot be read";
  ElfBytes elf(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
  in.close();
  if (!elf.ReadIdentity()) return path + ": not an ELF program";
  const Layout& at = elf.Wide() ? kLayout64 : kLayout32;
  const unsigned address = elf.AddressWidth();
  const uint64_t tableOffset = elf.Get(at.shoff, address);
  const uint64_t entrySize = elf.Get(at.shentsize, 2);
  const uint64_t count = elf.Get(at.shnum, 2);
  const uint64_t namesIndex = elf.Get(at.shstrndx, 2);
  // Without a section table (or with one too big for the header's fields) there is nowhere to
  // name the note; such files are rare and are better built with the note.
  if (tableOffset == 0 || count == 0 || count >= kFirstReservedIndex - 1 || namesIndex == 0 ||
      namesIndex >= count || entrySize != at.entrySize || tableOffset > elf.Size() ||
      (elf.Size() - tableOffset) / entrySize < count)
    return path + ": has no usable section table to add the version note to";
  const uint64_t namesHeader = tableOffset + namesIndex * entrySize;
  const uint64_t namesOffset = elf.Get(namesHeader + at.offset, address);
  const uint64_t namesSize = elf.Get(namesHeader + at.size, address);
  if (namesOffset > elf.Size() || elf.Size() - namesOffset < namesSize)
    return path + ": its section names lie outside the file";
  const std::vector<uint8_t> oldNames(elf.Bytes().begin() + static_cast<std::ptrdiff_t>(namesOffset),
                                      elf.Bytes().begin() + static_cast<std::ptrdiff_t>(namesOffset + namesSize));
  const std::vector<uint8_t> oldTable(elf.Bytes().begin() + static_cast<std::ptrdiff_t>(tableOffset),
                                      elf.Bytes().begin() + static_cast<std::ptrdiff_t>(tableOffset + count * entrySize));

  // Appended: the note, the names with the note's name added, and the table with its section.
  // The earlier names and table stay where they were, unused.
  elf.PadTo(4);
  const uint64_t noteOffset = elf.Size();
  constexpr uint64_t kNoteSize = 12 + 8 + 8;
  elf.AppendZeros(kNoteSize);
  elf.Set(noteOffset, 4, sizeof kNoteName);
  elf.Set(noteOffset + 4, 4, 8);
  elf.Set(noteOffset + 8, 4, kNoteType);
  elf.Put(noteOffset + 12, kNoteName, sizeof kNoteName);
  const uint8_t words[8] = {  // little-endian in every file, as FileVersion reads them
      static_cast<uint8_t>(high), static_cast<uint8_t>(high >> 8), static_cast<uint8_t>(high >> 16),
      static_cast<uint8_t>(high >> 24), static_cast<uint8_t>(low), static_cast<uint8_t>(low >> 8),
      static_cast<uint8_t>(low >> 16), static_cast<uint8_t>(low >> 24)};
  elf.Put(noteOffset + 20, words, sizeof words);
  const uint64_t newNamesOffset = elf.Size();
  elf.Append(oldNames.data(), oldNames.size());
  elf.Append(reinterpret_cast<const uint8_t*>(kSectionName), sizeof kSectionName);
  elf.PadTo(8);
  const uint64_t newTableOffset = elf.Size();
  elf.Append(oldTable.data(), oldTable.size());
  elf.AppendZeros(entrySize);
  const uint64_t namesEntry = newTableOffset + namesIndex * entrySize;
  const uint64_t noteEntry = newTableOffset + count * entrySize;
  elf.Set(namesEntry + at.offset, address, newNamesOffset);
  elf.Set(namesEntry + at.size, address, namesSize + sizeof kSectionName);
  elf.Set(noteEntry + at.name, 4, namesSize);
  elf.Set(noteEntry + at.type, 4, kSectionTypeNote);
  elf.Set(noteEntry + at.offset, address, noteOffset);
  elf.Set(noteEntry + at.size, address, kNoteSize);
  elf.Set(noteEntry + at.align, address, 4);
  elf.Set(at.shoff, address, newTableOffset);
  elf.Set(at.shnum, 2, count + 1);

  // Written beside the program and renamed over it: a failure leaves the program as it was.
  const std::string sibling = path + ".stamping";
  std::error_code code;
  {
    std::ofstream out(sibling, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(elf.Bytes().data()), static_cast<std::streamsize>(elf.Size()));
    out.close();
    if (out.fail()) {
      fs::remove(sibling, code);
      return path + ": cannot write " + sibling;
    }
  }
  fs::permissions(sibling, fs::status(path, code).permissions(), code);
  if (!code) fs::rename(sibling, path, code);
  if (code) {
    fs::remove(sibling, code);
    return path + ": cannot be replaced: " + code.message();
  }
  return {};
}
