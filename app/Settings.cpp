#include "app/Settings.h"

#include <cstdlib>
#include <map>
#include <optional>

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "platform/AsciiText.h"
#include "platform/Path.h"
#include "platform/ProfileFile.h"
#include "platform/ProfileText.h"

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

using platform::AsciiLowered;
constexpr auto SameIgnoringCase = platform::EqualsIgnoringCase;

bool IsDecimal(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The base key of a server profile key ("Url" for "Url_7"), or none.
std::optional<int> ProfileIndexOf(std::string_view key) {
  for (int index = 0; index < kProfileValueCount; ++index) {
    const std::string_view base = kProfileKeys[index];
    if (key.size() > base.size() && key[base.size()] == '_' && SameIgnoringCase(key.substr(0, base.size()), base))
      return index;
  }
  return std::nullopt;
}

// The error reporter reads its address from the same section.
constexpr const char* kErrorReporterKey = "CrashReportUrl";

bool IsKnownKey(std::string_view key) {
  for (int item = 1; item <= kLastSetting; ++item)
    if (SameIgnoringCase(key, kSettings[item].key)) return true;
  return SameIgnoringCase(key, kErrorReporterKey) || ProfileIndexOf(key).has_value();
}

// What the launcher makes of a value it does not know, or none for a known value.
std::optional<std::string> ValueProblem(std::string_view key, const std::string& value) {
  auto is = [&](std::string_view name) { return SameIgnoringCase(key, name); };
  if (is("LOCALE") && value != "NULL" && !MatchLocaleCode(value))
    return "is not KOREA, JAPAN, CHINA or USA; KOREA is used";
  if (is("PUBLISHER") && value != "NULL" && !MatchPublisherCode(value))
    return "is not ORVEX, KESTRIL, VORN, HALVERSTON, MIRELLA or QUADRIUM; ORVEX is used";
  if (is("ScreenMode") && value != "WINDOW" && value != "FULL")
    return "is not WINDOW or FULL; the game starts full screen";
  if (is("CRC") && value != "FILE" && value != "SHOW" && value != "0")
    return "is not FILE, SHOW or 0; no report is made";
  if (is("RATE") && value != "1" && value != "0") return "is not 1 or 0; 0 is used";
  if (is("MaxDownloadKBps") && !IsDecimal(value)) {
    const uint32_t limit = ConfiguredRateLimit(value);
    return "is not a whole number of kilobytes per second; " +
           (limit > 0 ? std::to_string(limit) + " is used" : std::string("there is no limit"));
  }
  const std::optional<int> profile = ProfileIndexOf(key);
  if (profile == kProfileType && value != "2" && value != "1") return "is not 2 (HTTP) or 1 (FTP); FTP is used";
  if (profile == kProfilePort && !(IsDecimal(value) && value.size() <= 5 && std::atoi(value.c_str()) <= 65535))
    return "is not a port number; " + std::to_string(std::atoi(value.c_str())) + " is used";
  return std::nullopt;
}

}  // namespace

uint32_t ConfiguredRateLimit(const std::string& text) {
  // long long: a Windows long has 32 bits, where UINT32_MAX would read as -1 and refuse every limit.
  const long long limit = std::strtoll(text.c_str(), nullptr, 10);
  return limit > 0 && limit <= static_cast<long long>(UINT32_MAX) ? static_cast<uint32_t>(limit) : 0;
}

std::vector<std::string> ConfigWarnings(std::string_view text) {
  std::vector<std::string> warnings;
  auto warn = [&](size_t line, const std::string& what) {
    warnings.push_back(std::string(kConfigFileName) + " line " + std::to_string(line) + ": " + what + ".");
  };
  std::map<std::string, size_t> firstLine;  // lower-cased key -> the line whose value counts
  std::optional<platform::ProfileLine> run;
  bool inSection = false;
  bool anySection = false;
  for (const platform::ProfileLine& line : platform::ListProfileLines(text)) {
    if (line.kind == platform::ProfileLine::Kind::Other) {
      warn(line.number, "not a \"key=value\" line; ignored");
      continue;
    }
    if (line.kind == platform::ProfileLine::Kind::Section) {
      inSection = SameIgnoringCase(line.name, kConfigSection);
      anySection = true;
      if (!inSection)
        warn(line.number, "the section [" + line.name + "] is not [" + kConfigSection + "]; its keys are ignored");
      continue;
    }
    if (!inSection) {
      // The keys of an unknown section are covered by its own warning.
      if (!anySection) warn(line.number, line.name + " stands before [" + kConfigSection + "] and is ignored");
      continue;
    }
    if (!IsKnownKey(line.name)) {
      warn(line.number, "the key " + line.name + " is unknown and ignored");
      continue;
    }
    if (const auto [first, added] = firstLine.emplace(AsciiLowered(line.name), line.number); !added) {
      warn(line.number, line.name + " is set again and ignored; the value of line " + std::to_string(first->second) +
                            " is used");
      continue;
    }
    if (const std::optional<std::string> problem = ValueProblem(line.name, line.value))
      warn(line.number, line.name + "=" + line.value + " " + *problem);
    if (SameIgnoringCase(line.name, "Run")) run = line;
  }
  // A profile of the file's own that holds no key at all is most likely a typing mistake.
  if (run && run->value != "0" && run->value != "1" && run->value != "2") {
    bool anyKey = false;
    for (const char* base : kProfileKeys)
      anyKey = anyKey || firstLine.count(AsciiLowered(std::string(base) + "_" + run->value)) > 0;
    if (!anyKey)
      warn(run->number, "Run=" + run->value + " names a server profile without any key (Url_" + run->value +
                            ", ...); the built-in main server is used");
  }
  return warnings;
}

const char* SettingKey(int item) { return item >= 1 && item <= kLastSetting ? kSettings[item].key : ""; }
const char* SettingDefault(int item) { return item >= 1 && item <= kLastSetting ? kSettings[item].defaultValue : ""; }

std::string PatchEngine::ConfigFilePath() { return platform::JoinPath(InstallationDir(), kConfigFileName); }

std::optional<std::string> PatchEngine::CheckConfiguration() {
  const std::string path = ConfigFilePath();
  std::string text;
  std::string error;
  std::vector<std::string> warnings;
  switch (platform::ReadProfileFile(path, text, error)) {
    case platform::FileReadStatus::Failed:
      // Read as empty, the file would silently switch every setting off.
      return "SolaneLauncher cannot read its configuration file " + path + ": " + error +
             ". Make the file readable (or remove it) and start again.";
    case platform::FileReadStatus::Missing:
      warnings.push_back(path + " is missing; every setting takes its default (locale KOREA, publisher ORVEX, "
                                "the main patch server).");
      break;
    case platform::FileReadStatus::Ok: warnings = ConfigWarnings(text); break;
  }
  std::lock_guard<std::mutex> guard(textLock_);
  startupWarnings_ = std::move(warnings);
  return std::nullopt;
}

std::vector<std::string> PatchEngine::StartupWarnings() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return startupWarnings_;
}

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
