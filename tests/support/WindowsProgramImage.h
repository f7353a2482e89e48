#pragma once
// A minimal Windows executable with a version resource, for the tests of the version reader and
// of everything that reads versions from Windows programs.

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>

inline void Put(std::string& bytes, size_t at, uint32_t value, int count = 4) {
  if (bytes.size() < at + count) bytes.resize(at + count, '\0');
  for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// Where the fields that the damage test spoils lie in the image below.
inline constexpr uint32_t kRsrc = 0x200, kVersionTypeTarget = kRsrc + 0x24, kDataSize = kRsrc + 0x8c;

// A minimal Windows executable: headers, one ".rsrc" section whose resource tree holds a named
// type, an icon type and RT_VERSION -> name 1 -> language 0x409 -> VS_VERSIONINFO, which ends
// the file. The product words differ from the file words, so a reader taking the wrong pair fails.
inline std::string WindowsProgram(bool pe32Plus, uint32_t ms, uint32_t ls) {
  constexpr uint32_t kRva = 0x1000, kHigh = 0x80000000, kSize = 0xa0 + 40 + 52, kInfo = kRsrc + 0xa0;
  const uint32_t coff = 0x84, optional = coff + 20, optionalSize = pe32Plus ? 240 : 224;
  const uint32_t directories = optional + (pe32Plus ? 112 : 96), section = optional + optionalSize;
  std::string b(0x200, '\0');
  const std::tuple<uint32_t, uint32_t, int> fields[] = {
      // "MZ", the PE header, one section, the optional header's kind and 16 data directories.
      {0, 0x5a4d, 2}, {0x3c, 0x80, 4}, {0x80, 0x00004550, 4}, {coff, pe32Plus ? 0x8664 : 0x14c, 2}, {coff + 2, 1, 2},
      {coff + 16, optionalSize, 2}, {optional, pe32Plus ? 0x20b : 0x10b, 2}, {directories - 4, 16, 4},
      {directories + 16, kRva, 4}, {directories + 20, kSize, 4}, {section + 8, kSize, 4}, {section + 12, kRva, 4},
      {section + 16, kSize, 4}, {section + 20, kRsrc, 4},
      // The resource tree: directory entry counts (named, ids), then entries (name or id, target).
      {kRsrc + 12, 1, 2}, {kRsrc + 14, 2, 2}, {kRsrc + 0x58 + 14, 1, 2}, {kRsrc + 0x70 + 14, 1, 2},
      {kRsrc + 0x10, kHigh | 0x100, 4}, {kRsrc + 0x14, kHigh | 0x40, 4}, {kRsrc + 0x18, 3, 4},
      {kRsrc + 0x1c, kHigh | 0x40, 4}, {kRsrc + 0x20, 16, 4}, {kVersionTypeTarget, kHigh | 0x58, 4},
      {kRsrc + 0x68, 1, 4}, {kRsrc + 0x6c, kHigh | 0x70, 4}, {kRsrc + 0x80, 0x409, 4}, {kRsrc + 0x84, 0x88, 4},
      {kRsrc + 0x88, kRva + 0xa0, 4}, {kDataSize, 40 + 52, 4},
      // VS_VERSIONINFO's lengths, then its fixed file information.
      {kInfo, 40 + 52, 2}, {kInfo + 2, 52, 2}, {kInfo + 40, 0xfeef04bd, 4}, {kInfo + 44, 0x00010000, 4},
      {kInfo + 48, ms, 4}, {kInfo + 52, ls, 4}, {kInfo + 56, 0x00630063, 4}, {kInfo + 60, 0x00630063, 4}, {kInfo + 88, 0, 4}};
  for (const auto& [at, value, width] : fields) Put(b, at, value, width);
  std::memcpy(&b[section], ".rsrc", 5);
  for (size_t i = 0; i < sizeof "VS_VERSION_INFO"; ++i) Put(b, kInfo + 6 + 2 * i, "VS_VERSION_INFO"[i], 2);
  return b;
}
