#pragma once
// Keys of the launcher's configuration file "SolaneLauncher.CFG" and of its server profile.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum SettingItem : int {
  kSettingScreenMode = 1,
  kSettingRun = 2,
  kSettingCrc = 3,
  kSettingRate = 4,
  kSettingLocale = 5,
  kSettingPublisher = 6,
  // The publisher's public key (base64); set, every Update.NFO must carry its signature.
  kSettingPublisherKey = 7,
  kSettingMaxDownloadKBps = 8,  // the player's own bandwidth limit; 0 or absent = none
};

enum ServerProfileIndex : int {
  kProfileUrl = 0,
  kProfileType = 1,
  kProfilePort = 2,
  kProfileId = 3,
  kProfilePassword = 4,
  kProfileLocalPath = 5,
  kProfileServerPath = 6,
  kProfileDescription = 7,
  kProfileValueCount = 8,
};

inline constexpr const char* kConfigFileName = "SolaneLauncher.CFG";
inline constexpr const char* kConfigSection = "SolaneLauncher.CFG";
// Values are read into a buffer of 260 bytes: at most 259 characters count.
inline constexpr size_t kMaxValueLength = 259;

// The key text and the default of a setting item; empty key for an unknown item.
const char* SettingKey(int item);
const char* SettingDefault(int item);

// MaxDownloadKBps as the download limit reads it: a malformed or negative value is no limit (0).
uint32_t ConfiguredRateLimit(const std::string& text);

// What the configuration file's text gets wrong, one warning per unknown section, key or value
// and per line that is no entry, each naming the line and what the launcher uses instead. The
// launcher runs on with its defaults; these tell the operator what it ignored.
std::vector<std::string> ConfigWarnings(std::string_view text);
