#include "platform/Registry.h"

// The system registry itself. Texts are UTF-8 here and UTF-16 there: a REG_SZ value's bytes are
// converted both ways, so a value set with n bytes of UTF-8 reads back as those n bytes.
#include <vector>

#include "platform/RegistryFile.h"
#include "platform/win32/WideText.h"

namespace platform {

namespace {

HKEY SystemRoot(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users: return HKEY_USERS;
  }
  return HKEY_CURRENT_USER;
}

// The key that stands for `root` during one call: the system's own, or the subkey named after
// the root of the key that SOLANE_REGISTRY_KEY names under HKEY_CURRENT_USER.
class RootKey {
 public:
  explicit RootKey(RegistryRoot root) : key_(SystemRoot(root)) {
    wchar_t scratch[512];
    const DWORD length = GetEnvironmentVariableW(L"SOLANE_REGISTRY_KEY", scratch, std::size(scratch));
    if (length == 0 || length >= std::size(scratch)) return;
    const std::wstring path = std::wstring(scratch, length) + L"\\" + Widen(RegistryRootName(root));
    owned_ = true;
    // One that cannot be made fails the call rather than letting it reach the system's root.
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~RootKey() {
    if (owned_ && key_) RegCloseKey(key_);
  }
  RootKey(const RootKey&) = delete;
  RootKey& operator=(const RootKey&) = delete;
  operator HKEY() const { return key_; }

 private:
  HKEY key_;
  bool owned_ = false;
};

class ScopedKey {
 public:
  ~ScopedKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The launchers' changes that look before they write take turns, as the file store's lock
// made them: a key found empty is still empty when it goes.
class ChangeLock {
 public:
  ChangeLock() : mutex_(CreateMutexW(nullptr, FALSE, L"Local\\solane-registry-changes")) {
    if (mutex_.Valid()) WaitForSingleObject(mutex_.Get(), INFINITE);  // an abandoned lock is taken too
  }
  ~ChangeLock() {
    if (mutex_.Valid()) ReleaseMutex(mutex_.Get());
  }

 private:
  ScopedHandle mutex_;
};

bool Open(RegistryRoot root, std::string_view path, REGSAM access, ScopedKey& key) {
  return RegOpenKeyExW(RootKey(root), Widen(path).c_str(), 0, access, key.Out()) == ERROR_SUCCESS;
}

std::vector<uint8_t> ToStoredBytes(uint32_t type, const uint8_t* data, size_t size) {
  if (type != kRegSz) return std::vector<uint8_t>(data, data + size);
  const std::wstring wide = Widen(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto* bytes = reinterpret_cast<const uint8_t*>(wide.data());
  return std::vector<uint8_t>(bytes, bytes + wide.size() * sizeof(wchar_t));
}

std::vector<uint8_t> FromStoredBytes(DWORD type, std::vector<uint8_t> stored) {
  if (type != REG_SZ) return stored;
  const std::wstring wide(reinterpret_cast<const wchar_t*>(stored.data()), stored.size() / sizeof(wchar_t));
  const std::string narrow = Narrow(wide);
  return std::vector<uint8_t>(narrow.begin(), narrow.end());
}

std::optional<RegistryKeyInfo> InfoOf(HKEY key) {
  DWORD subkeys = 0;
  DWORD values = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return std::nullopt;
  const bool hasDefault = RegQueryValueExW(key, L"", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  return RegistryKeyInfo{hasDefault, values - (hasDefault ? 1u : 0u), subkeys};
}

bool DeleteKeyWhen(RegistryRoot root, std::string_view path, bool (*removable)(const RegistryKeyInfo&)) {
  if (path.empty() || !IsValidRegistryPath(path)) return false;
  ChangeLock turn;
  std::optional<RegistryKeyInfo> info;
  {
    ScopedKey key;
    if (!Open(root, path, KEY_QUERY_VALUE, key)) return false;
    info = InfoOf(key.Get());
  }
  return info && removable(*info) && RegDeleteKeyW(RootKey(root), Widen(path).c_str()) == ERROR_SUCCESS;
}

}  // namespace

// Windows keeps the registry itself; there are no store files.
std::string RegistryStoreFolder() { return {}; }

bool RegistryCreateKey(RegistryRoot root, std::string_view path) {
  if (!IsValidRegistryPath(path)) return false;
  ScopedKey key;
  return RegCreateKeyExW(RootKey(root), Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr,
                         key.Out(), nullptr) == ERROR_SUCCESS;
}

std::optional<RegistryKeyInfo> RegistryOpenKey(RegistryRoot root, std::string_view path) {
  if (!IsValidRegistryPath(path)) return std::nullopt;
  ScopedKey key;
  if (!Open(root, path, KEY_QUERY_VALUE, key)) return std::nullopt;
  return InfoOf(key.Get());
}

std::optional<RegistryValue> RegistryQueryValue(RegistryRoot root, std::string_view path, std::string_view name) {
  if (!IsValidRegistryPath(path) || !IsValidRegistryValueName(name)) return std::nullopt;
  ScopedKey key;
  if (!Open(root, path, KEY_QUERY_VALUE, key)) return std::nullopt;
  const std::wstring valueName = Widen(name);
  // The value's bytes as stored, without the terminating zero RegGetValue would add.
  for (;;) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      return std::nullopt;
    std::vector<uint8_t> data(size);
    const LSTATUS status = RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_MORE_DATA) continue;  // it grew meanwhile
    if (status != ERROR_SUCCESS) return std::nullopt;
    data.resize(size);
    return RegistryValue{type, FromStoredBytes(type, std::move(data))};
  }
}

bool RegistrySetValue(RegistryRoot root, std::string_view path, std::string_view name, uint32_t type,
                      const void* data, size_t size) {
  if (!IsValidRegistryPath(path) || !IsValidRegistryValueName(name) || (size > 0 && !data)) return false;
  const std::vector<uint8_t> stored = ToStoredBytes(type, static_cast<const uint8_t*>(data), size);
  ChangeLock turn;
  ScopedKey key;
  if (RegCreateKeyExW(RootKey(root), Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      key.Out(), nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExW(key.Get(), Widen(name).c_str(), 0, type, stored.data(), static_cast<DWORD>(stored.size())) ==
         ERROR_SUCCESS;
}

bool RegistryDeleteValue(RegistryRoot root, std::string_view path, std::string_view name) {
  if (!IsValidRegistryPath(path) || !IsValidRegistryValueName(name)) return false;
  ChangeLock turn;
  ScopedKey key;
  return Open(root, path, KEY_SET_VALUE, key) && RegDeleteValueW(key.Get(), Widen(name).c_str()) == ERROR_SUCCESS;
}

bool RegistryDeleteKey(RegistryRoot root, std::string_view path) {
  return DeleteKeyWhen(root, path, [](const RegistryKeyInfo& info) { return info.subkeyCount == 0; });
}

bool RegistryDeleteKeyIfEmpty(RegistryRoot root, std::string_view path) {
  return DeleteKeyWhen(root, path, [](const RegistryKeyInfo& info) {
    return info.subkeyCount == 0 && info.namedValueCount == 0 && !info.hasDefaultValue;
  });
}

}  // namespace platform
