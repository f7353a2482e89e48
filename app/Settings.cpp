#include "app/Settings.h"

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "platform/Path.h"
#include "platform/ProfileFile.h"

namespace {

struct SettingRow {
  const char* key;
  const char* defaultValue;
};

constexpr SettingRow kSettings[] = {
    {"", ""}, {"ScreenMode", "Window"}, {"Run", "1"}, {"CRC", "0"}, {"RATE", "0"}, {"LOCALE", "NULL"}, {"PUBLISHER", "NULL"},
    {"PublisherKey", ""},
    {"MaxDownloadKBps", "0"},
};
constexpr int kLastSetting = kSettingMaxDownloadKBps;

constexpr const char* kProfileKeys[kProfileValueCount] = {"Url", "Type", "Port", "ID", "PW", "Loacl_Path", "Server_Path",
                                                         "Description"};
constexpr const char* kMainServerValues[kProfileValueCount] = {"", "2", "80", "", "", "", "Solane-MainServer/",
                                                              "Solane-MainServer"};
constexpr const char* kTestServerValues[kProfileValueCount] = {"", "2", "80", "", "", "", "Solane-TestServer/",
                                                              "Solane-TestServer"};

std::string Cut(std::string value) {
  if (value.size() > kMaxValueLength) value.resize(kMaxValueLength);
  return value;
}

}  // namespace

const char* SettingKey(int item) { return item >= 1 && item <= kLastSetting ? kSettings[item].key : ""; }
const char* SettingDefault(int item) { return item >= 1 && item <= kLastSetting ? kSettings[item].defaultValue : ""; }

std::string PatchEngine::ConfigFilePath() { return platform::JoinPath(InstallationDir(), kConfigFileName); }

std::string PatchEngine::ReadSetting(int item) {
  if (item < 1 || item > kLastSetting) return {};
  return Cut(platform::GetProfileString(ConfigFilePath(), kConfigSection, SettingKey(item), SettingDefault(item)));
}

void PatchEngine::WriteSetting(int item, const std::string& value) {
  if (item != kSettingScreenMode) return;  // the only setting the launcher ever writes
  platform::WriteProfileString(ConfigFilePath(), kConfigSection, SettingKey(item), value);
}

std::string PatchEngine::ServerProfileValue(int index, const std::string& run) {
  if (index < 0 || index >= kProfileValueCount) return {};
  std::string mainValue = index == kProfileUrl ? PatchHost() : kMainServerValues[index];
  std::string testValue = index == kProfileUrl ? PatchHost() : kTestServerValues[index];
  std::string key = std::string(kProfileKeys[index]) + "_" + run;
  std::string stored = Cut(platform::GetProfileString(ConfigFilePath(), kConfigSection, key, mainValue));
  // "0", "1" and "2" are the built-in profiles; any other text names one written in the file.
  if (run == "0" || run == "1") return mainValue;
  if (run == "2") return testValue;
  return stored;
}

std::string PatchEngine::PatchHost() const { return ProfileFor(locale_, publisher_).patchHost; }
std::string PatchEngine::PatchPath() const { return ProfileFor(locale_, publisher_).patchPath; }

void PatchEngine::ResolveLocale() {
  std::string text = ReadSetting(kSettingLocale);
  std::string fromCommandLine = commandLine_.GetOrEmpty("/LOCALE:");
  if (!fromCommandLine.empty()) text = fromCommandLine;
  if (int locale = MatchLocaleCode(text)) locale_ = locale;
}

void PatchEngine::ResolvePublisher() {
  std::string text = ReadSetting(kSettingPublisher);
  std::string fromCommandLine = commandLine_.GetOrEmpty("/PUBLISHER:");
  if (!fromCommandLine.empty()) text = fromCommandLine;
  if (int publisher = MatchPublisherCode(text)) publisher_ = publisher;
  publisher_ = ForcedPublisher(locale_, publisher_);
}
