#pragma once
// The operator's description of a release: which files of the release folder are the launcher,
// the client, the error reporter and the resource packs, and everything else that Update.NFO
// announces. The file's keys are listed at the top of ReleaseDescription.cpp and printed by
// `solane-publish --help` (kReleaseDescriptionHelp).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One of the three programs of the installation.
struct ComponentEntry {
  bool present = false;
  std::string file;       // relative to the release folder; also the name on the server
  bool zip = false;       // also publish the file's zip archive and announce it
  bool digest = true;     // announce the file's MD5
  bool update = true;     // the error reporter only: 0 leaves installed reporters alone
  std::optional<int> regKey;  // the client only: root of the "Excutable" value, 0 to 4
  std::string regSubKey;
  int line = 0;
};

struct PackEntry {
  std::string file;
  bool zip = false;
  bool digest = true;
  int check = 0;                    // 0 none, 1 date, 2 checksum and size, 3 all three
  bool versionless = false;         // Flag=MD5: the launcher ignores the pack's version
  std::optional<int64_t> version;   // when given, the pack's trailer must say the same
  int line = 0;
};

struct ListedServer {
  std::string name;
  std::string label;
  std::string address;
  int line = 0;
};

struct RegistryMoveEntry {
  int fromRoot = 0;  // 1 HKCR, 2 HKCU, 3 HKLM, 4 HKU
  std::string fromSubKey;
  std::string fromValue;
  bool deleteSource = false;
  int toRoot = 0;
  std::string toSubKey;
  std::string toValue;
  int line = 0;
};

struct ReleaseDescription {
  std::string versionLine;
  std::string noticeAddress;
  std::string locale;
  int64_t bandWidth = 0;
  int errorShow = 0;
  int errorRun = 0;
  std::string errorMessage;
  ComponentEntry launcher;
  ComponentEntry client;
  ComponentEntry errorReporter;
  std::vector<PackEntry> packs;
  std::vector<std::string> deleteList;
  std::vector<std::string> loginAddresses;  // the random pick
  std::vector<ListedServer> listedServers;  // the selectable list
  std::vector<RegistryMoveEntry> registryMoves;
};

struct DescriptionParse {
  std::optional<ReleaseDescription> description;  // none when there is any error
  std::vector<std::string> errors;                // "line N: ..." each
};

// Reads a description. Unknown sections and keys, repeated single keys and malformed values are
// errors, so that a typing mistake never publishes something other than what was meant.
DescriptionParse ParseReleaseDescription(std::string_view text);

// The description file's keys, as the operator reads them in `solane-publish --help`.
extern const char* const kReleaseDescriptionHelp;
