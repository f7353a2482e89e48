#pragma once
// Registry locations named by the update-information file, and the reads the launcher needs
// from that file to resolve them.

#include <string>

#include "platform/Registry.h"

// The typed reads of the update-information table. The engine's table implements it; tests
// give a small one of their own.
class UpdateInfoReader {
 public:
  virtual ~UpdateInfoReader() = default;
  virtual int ReadInt(const std::string& section, const std::string& key, int defaultValue) const = 0;
  virtual std::string ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const = 0;
};

struct RegistryLocation {
  platform::RegistryRoot root = platform::RegistryRoot::LocalMachine;
  std::string path;
};

inline constexpr const char* kDefaultRegistryPath = "Software\\Orvex Soft\\SolaneLauncher";

// The location that section/rootKey (root index 1..4) and section/subKey name, or the default
// location when the index is 0 or the path is "NoData". A null reader gives the default.
RegistryLocation ResolveRegistryLocation(const UpdateInfoReader* info, const std::string& section,
                                         const std::string& rootKey, const std::string& subKey);

// The value read as text from a zero-filled 260-byte buffer; empty on any failure.
std::string ReadRegistryText(const RegistryLocation& location, const std::string& valueName);
bool WriteRegistryValue(const RegistryLocation& location, const std::string& valueName, const std::string& data,
                        uint32_t type);
// Deletes the value from the key and each ancestor, removing keys left with no value and no
// subkey on the way up. The result is that of the deletion in the key itself.
bool DeleteRegistryValueWalk(const RegistryLocation& location, const std::string& valueName);
