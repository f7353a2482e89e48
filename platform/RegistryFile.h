#pragma once
// One registry root as a tree, and its text in the registry export format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Example]
//   @="default value"
//   "Name"="text with \\ and \" escaped"
//   "Count"=dword:0000002a
//   "Blob"=hex:01,ff
//   "Other"=hex(7):41,00,00
//
// A REG_SZ value is exactly the bytes between the quotes (no terminating zero is added); one that
// cannot be written between quotes on one line (it holds a NUL, CR or LF) is written as hex(1).
// A REG_DWORD of other than four bytes is written as hex(4). Parsing and formatting are pure.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace platform {

// Orders names ignoring ASCII case, as the registry compares key and value names.
struct RegistryNameLess {
  bool operator()(std::string_view a, std::string_view b) const;
  using is_transparent = void;
};

struct RegistryKey {
  std::optional<RegistryValue> defaultValue;
  std::map<std::string, RegistryValue, RegistryNameLess> values;  // named values
  std::map<std::string, RegistryKey, RegistryNameLess> subkeys;

  bool operator==(const RegistryKey&) const = default;
};

// Keys nest at most this deep, as in the system registry.
inline constexpr size_t kMaxRegistryDepth = 512;

// "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE" or "HKEY_USERS".
std::string_view RegistryRootName(RegistryRoot root);

// True when `name` can be a key name in the store: not empty, no "\", no CR, LF or NUL.
// A path is valid when it is empty (the root) or "\"-separated valid names, at most
// kMaxRegistryDepth of them.
bool IsValidRegistryKeyName(std::string_view name);
// True when `name` can be a value name: no CR, LF or NUL ("" is the default value).
bool IsValidRegistryValueName(std::string_view name);
bool IsValidRegistryPath(std::string_view path);

// The tree of the root `rootName` from a store file's text; an empty text is an empty tree.
// On failure returns none and, when `error` is given, says which line is wrong and why.
std::optional<RegistryKey> ParseRegistryFile(std::string_view text, std::string_view rootName,
                                             std::string* error = nullptr);

// The text of `tree` as root `rootName`, with CR LF line endings; ParseRegistryFile gives the
// same tree back for any tree whose names are valid.
std::string FormatRegistryFile(const RegistryKey& tree, std::string_view rootName);

}  // namespace platform
