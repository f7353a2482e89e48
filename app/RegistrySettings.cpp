#include "app/RegistrySettings.h"

#include <cstring>

#include "patch/PatchEngine.h"

RegistryLocation ResolveRegistryLocation(const UpdateInfoReader* info, const std::string& section,
                                         const std::string& rootKey, const std::string& subKey) {
  RegistryLocation location{platform::RegistryRoot::LocalMachine, kDefaultRegistryPath};
  if (!info) return location;
  int index = info->ReadInt(section, rootKey, 0);
  std::string path = info->ReadString(section, subKey, "NoData");
  if (index == 0 || path == "NoData") return location;
  switch (index) {
    case 1: location.root = platform::RegistryRoot::ClassesRoot; break;
    case 2: location.root = platform::RegistryRoot::CurrentUser; break;
    case 4: location.root = platform::RegistryRoot::Users; break;
    default: location.root = platform::RegistryRoot::LocalMachine; break;
  }
  location.path = path;
  return location;
}

std::string ReadRegistryText(const RegistryLocation& location, const std::string& valueName) {
  constexpr size_t kBufferSize = 260;
  auto value = platform::RegistryQueryValue(location.root, location.path, valueName);
  if (!value || value->data.size() > kBufferSize) return {};
  char buffer[kBufferSize + 1] = {};
  if (!value->data.empty()) std::memcpy(buffer, value->data.data(), value->data.size());
  return std::string(buffer);
}

bool WriteRegistryValue(const RegistryLocation& location, const std::string& valueName, const std::string& data,
                        uint32_t type) {
  return platform::RegistrySetValue(location.root, location.path, valueName, type, data.data(), data.size());
}

bool DeleteRegistryValueWalk(const RegistryLocation& location, const std::string& valueName) {
  bool result = false;
  std::string path = location.path;
  bool first = true;
  while (true) {
    if (platform::RegistryOpenKey(location.root, path)) {
      bool deleted = platform::RegistryDeleteValue(location.root, path, valueName);
      if (first) result = deleted;
      // A key goes only when nothing is left in it. The store checks and removes in one step, so
      // a value another launcher writes meanwhile keeps the key.
      platform::RegistryDeleteKeyIfEmpty(location.root, path);
    } else if (first) {
      return false;
    }
    first = false;
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos) break;
    path.resize(slash);
  }
  return result;
}

std::string PatchEngine::RegistryRead(const std::string& valueName, const std::string& section,
                                      const std::string& rootKey, const std::string& subKey) const {
  return ReadRegistryText(ResolveRegistryLocation(updateInfoReader_.load(), section, rootKey, subKey), valueName);
}

bool PatchEngine::RegistryWrite(const std::string& valueName, const std::string& section, const std::string& rootKey,
                                const std::string& subKey, const std::string& data, uint32_t type) {
  return WriteRegistryValue(ResolveRegistryLocation(updateInfoReader_.load(), section, rootKey, subKey), valueName,
                            data, type);
}

bool PatchEngine::RegistryDelete(const std::string& valueName, const std::string& section,
                                 const std::string& rootKey, const std::string& subKey) {
  return DeleteRegistryValueWalk(ResolveRegistryLocation(updateInfoReader_.load(), section, rootKey, subKey),
                                 valueName);
}
