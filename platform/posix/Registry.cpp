#include "platform/Registry.h"

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "platform/Path.h"
#include "platform/RegistryFile.h"
#include "platform/StoreFile.h"

namespace platform {

namespace {

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The key at `path`, or null; with `create`, missing keys on the way are made.
RegistryKey* FindKey(RegistryKey& tree, std::string_view path, bool create) {
  RegistryKey* key = &tree;
  while (!path.empty()) {
    size_t next = path.find('\\');
    std::string_view name = path.substr(0, next);
    auto found = key->subkeys.find(name);
    if (found == key->subkeys.end()) {
      if (!create) return nullptr;
      found = key->subkeys.emplace(std::string(name), RegistryKey{}).first;
    }
    key = &found->second;
    path.remove_prefix(next == std::string_view::npos ? path.size() : next + 1);
  }
  return key;
}

// Loads the root's tree under its lock, lets `operation` read or change it, and writes the tree
// back when the operation says it changed it. False when the store cannot be used.
using StoreOperation = std::function<bool(RegistryKey& tree, bool& changed)>;

bool WithStore(RegistryRoot root, bool mayCreate, const StoreOperation& operation) {
  const std::string folder = RegistryStoreFolder();
  if (folder.empty()) return false;
  if (mayCreate && !CreateFolders(folder)) return false;
  const std::string_view rootName = RegistryRootName(root);
  const std::string storePath = JoinPath(folder, std::string(rootName) + ".reg");

  // Reads go ahead without the lock when it cannot be had (a folder that is not ours, or none
  // yet): the file is only ever replaced whole, so an unlocked read still sees a whole store.
  ExclusiveFileLock lock(storePath + ".lock");
  if (mayCreate && !lock.locked()) return false;

  std::string text;
  if (ReadWholeFile(storePath, text) == FileReadStatus::Failed) return false;
  std::string problem;
  std::optional<RegistryKey> tree = ParseRegistryFile(text, rootName, &problem);
  if (!tree) {
    // The damaged file is kept for whoever wants to repair it; it must never be written over.
    std::string movedTo = lock.locked() ? MoveFileAside(storePath, "damaged") : std::string();
    if (movedTo.empty()) {
      std::fprintf(stderr, "warning: registry store %s cannot be read (%s); left in place\n",
                   storePath.c_str(), problem.c_str());
      if (lock.locked()) return false;
    } else {
      std::fprintf(stderr, "warning: registry store %s cannot be read (%s); moved to %s, starting empty\n",
                   storePath.c_str(), problem.c_str(), movedTo.c_str());
    }
    tree.emplace();
  }

  bool changed = false;
  if (!operation(*tree, changed)) return false;
  if (!changed) return true;
  return lock.locked() && ReplaceFileContents(storePath, FormatRegistryFile(*tree, rootName));
}

// Removes the key at `path` when `removable` says so of the key as it is under the lock.
bool DeleteKeyWhen(RegistryRoot root, std::string_view path, bool (*removable)(const RegistryKey&)) {
  if (path.empty() || !IsValidRegistryPath(path)) return false;
  return WithStore(root, false, [&](RegistryKey& tree, bool& changed) {
    size_t lastSeparator = path.rfind('\\');
    std::string_view parentPath = lastSeparator == std::string_view::npos ? "" : path.substr(0, lastSeparator);
    std::string_view name = path.substr(lastSeparator == std::string_view::npos ? 0 : lastSeparator + 1);
    RegistryKey* parent = FindKey(tree, parentPath, false);
    if (!parent) return false;
    auto found = parent->subkeys.find(name);
    if (found == parent->subkeys.end() || !removable(found->second)) return false;
    parent->subkeys.erase(found);
    changed = true;
    return true;
  });
}

}  // namespace

std::string RegistryStoreFolder() {
  std::string folder = EnvironmentValue("SOLANE_REGISTRY_DIR");
  if (!folder.empty()) return folder;
  std::string config = EnvironmentValue("XDG_CONFIG_HOME");
  if (config.empty() || config.front() != '/') {
    std::string home = EnvironmentValue("HOME");
    if (home.empty()) return {};
    config = JoinPath(home, ".config");
  }
  return JoinPath(config, "SolaneLauncher/registry");
}

bool RegistryCreateKey(RegistryRoot root, std::string_view path) {
  if (!IsValidRegistryPath(path)) return false;
  return WithStore(root, true, [&](RegistryKey& tree, bool& changed) {
    changed = FindKey(tree, path, false) == nullptr;
    FindKey(tree, path, true);
    return true;
  });
}

std::optional<RegistryKeyInfo> RegistryOpenKey(RegistryRoot root, std::string_view path) {
  if (!IsValidRegistryPath(path)) return std::nullopt;
  std::optional<RegistryKeyInfo> info;
  WithStore(root, false, [&](RegistryKey& tree, bool&) {
    if (const RegistryKey* key = FindKey(tree, path, false))
      info = RegistryKeyInfo{key->defaultValue.has_value(), key->values.size(), key->subkeys.size()};
    return true;
  });
  return info;
}

std::optional<RegistryValue> RegistryQueryValue(RegistryRoot root, std::string_view path,
                                                std::string_view name) {
  if (!IsValidRegistryPath(path) || !IsValidRegistryValueName(name)) return std::nullopt;
  std::optional<RegistryValue> result;
  WithStore(root, false, [&](RegistryKey& tree, bool&) {
    const RegistryKey* key = FindKey(tree, path, false);
    if (!key) return true;
    if (name.empty()) {
      result = key->defaultValue;
    } else if (auto found = key->values.find(name); found != key->values.end()) {
      result = found->second;
    }
    return true;
  });
  return result;
}

bool RegistrySetValue(RegistryRoot root, std::string_view path, std::string_view name, uint32_t type,
                      const void* data, size_t size) {
  if (!IsValidRegistryPath(path) || !IsValidRegistryValueName(name) || (size > 0 && !data)) return false;
  RegistryValue value;
  value.type = type;
  const auto* bytes = static_cast<const uint8_t*>(data);
  if (size > 0) value.data.assign(bytes, bytes + size);
  return WithStore(root, true, [&](RegistryKey& tree, bool& changed) {
    RegistryKey* key = FindKey(tree, path, true);
    if (name.empty()) {
      key->defaultValue = std::move(value);
    } else if (auto found = key->values.find(name); found != key->values.end()) {
      found->second = std::move(value);
    } else {
      key->values.emplace(std::string(name), std::move(value));
    }
    changed = true;
    return true;
  });
}

bool RegistryDeleteValue(RegistryRoot root, std::string_view path, std::string_view name) {
  if (!IsValidRegistryPath(path) || !IsValidRegistryValueName(name)) return false;
  return WithStore(root, false, [&](RegistryKey& tree, bool& changed) {
    RegistryKey* key = FindKey(tree, path, false);
    if (!key) return false;
    if (name.empty()) {
      changed = key->defaultValue.has_value();
      key->defaultValue.reset();
    } else if (auto found = key->values.find(name); found != key->values.end()) {
      key->values.erase(found);
      changed = true;
    }
    return changed;
  });
}

bool RegistryDeleteKey(RegistryRoot root, std::string_view path) {
  return DeleteKeyWhen(root, path, [](const RegistryKey& key) { return key.subkeys.empty(); });
}

bool RegistryDeleteKeyIfEmpty(RegistryRoot root, std::string_view path) {
  return DeleteKeyWhen(root, path, [](const RegistryKey& key) {
    return key.subkeys.empty() && key.values.empty() && !key.defaultValue;
  });
}

}  // namespace platform
