#pragma once
// The registry as a persistent store with the semantics the launcher relies on: keys under four
// roots, each key with an optional default (unnamed) value, named values with a type, and
// subkeys. Key paths use "\" and names are matched ignoring case.
//
// Each root is kept as one text file in the registry export format (RegistryFile.h), named after
// the root ("HKEY_CURRENT_USER.reg"...) in the folder named by SOLANE_REGISTRY_DIR, by default
// $XDG_CONFIG_HOME/SolaneLauncher/registry ($HOME/.config when XDG_CONFIG_HOME is unset); the
// variable is read at every call. Every call holds an exclusive lock on "<store>.lock" and every
// change replaces the store file in one step, so concurrent launchers never lose each other's
// writes. A store file that cannot be parsed is never overwritten: it is renamed aside with a
// ".damaged-<time>" suffix, a warning goes to standard error, and the root starts empty.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

enum RegistryType : uint32_t { kRegSz = 1, kRegBinary = 3, kRegDword = 4 };

// A value's type and its bytes. REG_SZ data carries no terminating zero unless the writer gave
// one: a value set with n bytes reads back exactly those n bytes.
struct RegistryValue {
  uint32_t type = kRegSz;
  std::vector<uint8_t> data;

  bool operator==(const RegistryValue&) const = default;
};

struct RegistryKeyInfo {
  bool hasDefaultValue = false;
  size_t namedValueCount = 0;
  size_t subkeyCount = 0;
};

// Creates root\path and any missing ancestors; true when the key exists afterwards. An empty
// path names the root itself. Paths with empty components ("a\\b", a trailing "\") are refused.
bool RegistryCreateKey(RegistryRoot root, std::string_view path);

// What the key holds; none when it does not exist.
std::optional<RegistryKeyInfo> RegistryOpenKey(RegistryRoot root, std::string_view path);

// The value `name` of the key ("" = the default value); none when the key or value is missing.
std::optional<RegistryValue> RegistryQueryValue(RegistryRoot root, std::string_view path,
                                                std::string_view name);

// Sets a value, creating the key and its ancestors. Value and key names may not hold CR, LF or
// NUL.
bool RegistrySetValue(RegistryRoot root, std::string_view path, std::string_view name, uint32_t type,
                      const void* data, size_t size);

// Removes a value; false when the key or the value does not exist.
bool RegistryDeleteValue(RegistryRoot root, std::string_view path, std::string_view name);

// Removes a key with its values; false when it does not exist, has subkeys, or is the root.
bool RegistryDeleteKey(RegistryRoot root, std::string_view path);

// Removes a key only while it holds nothing: no default value, no named value, no subkey. The
// check and the removal are one step under the store's lock, so a value that another launcher
// writes at the same time keeps the key. False when the key does not exist, is not empty, or is
// the root.
bool RegistryDeleteKeyIfEmpty(RegistryRoot root, std::string_view path);

// The folder that holds the store files, as the environment names it now; empty when neither
// SOLANE_REGISTRY_DIR, XDG_CONFIG_HOME nor HOME gives one, and on Windows, whose registry is the
// system's own (REG_SZ texts are kept there as UTF-16 and read back as the UTF-8 bytes set). There
// SOLANE_REGISTRY_KEY, read at every call, may name a key under HKEY_CURRENT_USER that holds the
// four roots as subkeys named after them, so that tests sharing a Wine prefix keep apart.
std::string RegistryStoreFolder();

}  // namespace platform
