// The release description file, in UTF-8 text:
//
//   ; a line starting with ";" or "#" is a comment; blank lines are ignored
//   [Release]                     once
//   VersionLine   = text          the window's version line (VersionDesc)
//   NoticeAddress = address       a notice page shown at once (Emergency_NoticeURL)
//   Locale        = KOREA | JAPAN | CHINA | USA   switches the installations' locale
//   BandWidth     = bytes per ms  download rate limit, 0 for none (default 0)
//   ErrorShow     = 0 | 1         show ErrorMessage at the end of an update (default 0)
//   ErrorRun      = 0 | 1         after that message, still finish the update (default 0)
//   ErrorMessage  = text          "\r" and "\n" in it stand for line breaks
//
//   [Launcher] [Client] [ErrorReporter]   [Launcher] and [Client] are required
//   File      = name              relative to the release folder; also its name on the server;
//                                 the client's is SolaneClient.exe, the name installations start
//   Zip       = yes | no          also publish and announce a zip archive (default no)
//   MD5       = yes | no          announce the file's digest (default yes)
//   Update    = yes | no          [ErrorReporter] only: update installed reporters (default yes)
//   RegKey    = root              [Client] only: HKCR, HKCU, HKLM, HKU or 0 to 4
//   RegSubKey = path              [Client] only
//
//   [Pack]                        once per resource pack, at least one
//   File    = name                the pack's version is its last four bytes
//   Zip     = yes | no            (default no)
//   MD5     = yes | no            (default yes)
//   Check   = 0 | 1 | 2 | 3       integrity check: none, date, checksum and size, all (default 0)
//   Flag    = MD5 | No            MD5: installations compare the digest, not the version
//   Version = number              optional; must equal the pack's own version
//
//   [Delete]        File = name         one line per file the installations delete
//   [LoginServers]  Address = host:port one line per address of the random pick
//                                       (at least one login server in either section)
//   [ListedServer]  Name = , Label = , Address =   once per server of the selectable list
//   [RegistryMove]  From = HKCU\Software\Old   FromValue = name   DeleteSource = yes | no
//                   To = HKLM\Software\New     ToValue = name     once per move

#include "tools/publish/ReleaseDescription.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>

#include "platform/TextEncoding.h"

const char* const kReleaseDescriptionHelp =
    "Release description (UTF-8 text; \";\" or \"#\" starts a comment line):\n"
    "  [Release]       VersionLine, NoticeAddress, Locale (KOREA|JAPAN|CHINA|USA), BandWidth (bytes/ms),\n"
    "                  ErrorShow (0|1), ErrorRun (0|1), ErrorMessage (\\r and \\n break lines)\n"
    "  [Launcher]      File = name, Zip = yes|no (no), MD5 = yes|no (yes)          required\n"
    "  [Client]        File = SolaneClient.exe (the name installations start), Zip, MD5,\n"
    "                  RegKey (HKCR|HKCU|HKLM|HKU|0-4), RegSubKey                    required\n"
    "  [ErrorReporter] File, Zip, MD5, Update = yes|no (yes)\n"
    "  [Pack]          File, Zip, MD5, Check (0 none|1 date|2 checksum+size|3 all), Flag (MD5|No),\n"
    "                  Version (optional, must equal the pack's last four bytes); once per pack\n"
    "  [Delete]        File = name                  one line per file to delete\n"
    "  [LoginServers]  Address = host[:port]        one line per address of the random pick\n"
    "  [ListedServer]  Name, Label, Address         once per server of the selectable list\n"
    "                  at least one login server, in either section, is required\n"
    "  [RegistryMove]  From = ROOT\\SubKey, FromValue, DeleteSource = yes|no, To = ROOT\\SubKey, ToValue\n"
    "File names are relative to the release folder and are the names on the server and in the\n"
    "installation. Files of the release folder that no section names are not published (a warning\n"
    "names them).\n"
    "Versions: a program's comes from its version record (a Windows VERSIONINFO resource, or the\n"
    "ELF note \".note.solane.version\"); `stamp` sets it, and gives a Linux program built without\n"
    "the note one. A Windows program needs a VERSIONINFO resource from its build (.rc file) first.\n"
    "A pack's version is its last four bytes, a little-endian 32-bit number from 1 to 2147483647,\n"
    "written by whoever builds the pack; installations compare it with the announced version.\n"
    "Zip = yes is for files below 4 GiB (the archive's sizes are 32-bit).\n";

namespace {

struct Entry {
  std::string key;
  std::string value;
  int line = 0;
};

struct Block {
  std::string name;
  int line = 0;
  std::vector<Entry> entries;
};

std::string Trimmed(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(begin, end - begin));
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

std::string At(int line) { return "line " + std::to_string(line) + ": "; }

// Splits the text into blocks; text before the first section is an error.
std::vector<Block> ReadBlocks(std::string_view text, std::vector<std::string>& errors) {
  std::vector<Block> blocks;
  int lineNumber = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        errors.push_back(At(lineNumber) + "a section line must end with \"]\"");
        continue;
      }
      blocks.push_back({Trimmed(std::string_view(line).substr(1, line.size() - 2)), lineNumber, {}});
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      errors.push_back(At(lineNumber) + "expected \"key = value\"");
      continue;
    }
    if (blocks.empty()) {
      errors.push_back(At(lineNumber) + "a key before the first [section]");
      continue;
    }
    blocks.back().entries.push_back({Trimmed(line.substr(0, equals)), Trimmed(line.substr(equals + 1)), lineNumber});
  }
  return blocks;
}

std::optional<bool> YesNo(const std::string& text) {
  const std::string upper = Upper(text);
  if (upper == "YES" || upper == "1" || upper == "TRUE") return true;
  if (upper == "NO" || upper == "0" || upper == "FALSE") return false;
  return std::nullopt;
}

std::optional<int64_t> Number(const std::string& text, int64_t lowest, int64_t highest) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < lowest || value > highest) return std::nullopt;
  return value;
}

std::optional<int> RegistryRoot(const std::string& text) {
  static const std::map<std::string, int> kRoots = {
      {"HKCR", 1}, {"HKEY_CLASSES_ROOT", 1}, {"HKCU", 2}, {"HKEY_CURRENT_USER", 2},
      {"HKLM", 3}, {"HKEY_LOCAL_MACHINE", 3}, {"HKU", 4}, {"HKEY_USERS", 4}};
  const auto found = kRoots.find(Upper(text));
  if (found != kRoots.end()) return found->second;
  if (auto code = Number(text, 0, 4)) return static_cast<int>(*code);
  return std::nullopt;
}

// Reads the keys of one block through a table of handlers; each handler returns an error text
// or nothing. Single keys may appear once; `repeatable` keys any number of times.
class BlockReader {
 public:
  using Handler = std::function<std::optional<std::string>(const std::string&)>;
  BlockReader(const Block& block, std::vector<std::string>& errors) : block_(block), errors_(errors) {}

  void Key(const std::string& name, Handler handler, bool repeatable = false) {
    handlers_[Upper(name)] = {name, std::move(handler), repeatable};
  }

  void Run() {
    std::map<std::string, int> seen;
    for (const Entry& entry : block_.entries) {
      const auto found = handlers_.find(Upper(entry.key));
      if (found == handlers_.end()) {
        errors_.push_back(At(entry.line) + "unknown key \"" + entry.key + "\" in [" + block_.name + "]");
        continue;
      }
      const Slot& slot = found->second;
      if (!slot.repeatable && seen[found->first]++ > 0) {
        errors_.push_back(At(entry.line) + "\"" + slot.name + "\" given twice in [" + block_.name + "]");
        continue;
      }
      if (auto problem = slot.handler(entry.value))
        errors_.push_back(At(entry.line) + slot.name + ": " + *problem);
    }
  }

 private:
  struct Slot {
    std::string name;
    Handler handler;
    bool repeatable = false;
  };
  const Block& block_;
  std::vector<std::string>& errors_;
  std::map<std::string, Slot> handlers_;
};

BlockReader::Handler TextInto(std::string& target) {
  return [&target](const std::string& value) -> std::optional<std::string> {
    if (value.empty()) return "needs a value";
    target = value;
    return std::nullopt;
  };
}

BlockReader::Handler FlagInto(bool& target) {
  return [&target](const std::string& value) -> std::optional<std::string> {
    const auto flag = YesNo(value);
    if (!flag) return "expected yes or no, not \"" + value + "\"";
    target = *flag;
    return std::nullopt;
  };
}

template <typename Number_t>
BlockReader::Handler NumberInto(Number_t& target, int64_t lowest, int64_t highest) {
  return [&target, lowest, highest](const std::string& value) -> std::optional<std::string> {
    const auto number = Number(value, lowest, highest);
    if (!number) return "expected a number from " + std::to_string(lowest) + " to " + std::to_string(highest);
    target = static_cast<Number_t>(*number);
    return std::nullopt;
  };
}

// "HKCU\Software\Old" as a root and a subkey; a root alone leaves the subkey empty.
BlockReader::Handler RegistryPathInto(int& root, std::string& subKey) {
  return [&root, &subKey](const std::string& value) -> std::optional<std::string> {
    const size_t separator = value.find_first_of("\\/");
    const auto code = RegistryRoot(value.substr(0, separator));
    if (!code) return "expected HKCR, HKCU, HKLM or HKU in front of \"" + value + "\"";
    root = *code;
    subKey = separator == std::string::npos ? std::string() : value.substr(separator + 1);
    return std::nullopt;
  };
}

void ReadRelease(const Block& block, ReleaseDescription& release, std::vector<std::string>& errors) {
  BlockReader reader(block, errors);
  reader.Key("VersionLine", TextInto(release.versionLine));
  reader.Key("NoticeAddress", TextInto(release.noticeAddress));
  reader.Key("Locale", [&](const std::string& value) -> std::optional<std::string> {
    const std::string upper = Upper(value);
    if (upper != "KOREA" && upper != "JAPAN" && upper != "CHINA" && upper != "USA")
      return "expected KOREA, JAPAN, CHINA or USA, not \"" + value + "\"";
    release.locale = upper;
    return std::nullopt;
  });
  reader.Key("BandWidth", NumberInto(release.bandWidth, 0, INT32_MAX));
  reader.Key("ErrorShow", NumberInto(release.errorShow, 0, 1));
  reader.Key("ErrorRun", NumberInto(release.errorRun, 0, 1));
  reader.Key("ErrorMessage", TextInto(release.errorMessage));
  reader.Run();
}

void ReadComponent(const Block& block, ComponentEntry& component, bool isClient, bool isErrorReporter,
                   std::vector<std::string>& errors) {
  component.present = true;
  component.line = block.line;
  BlockReader reader(block, errors);
  reader.Key("File", TextInto(component.file));
  reader.Key("Zip", FlagInto(component.zip));
  reader.Key("MD5", FlagInto(component.digest));
  if (isErrorReporter) reader.Key("Update", FlagInto(component.update));
  if (isClient) {
    reader.Key("RegKey", [&](const std::string& value) -> std::optional<std::string> {
      component.regKey = RegistryRoot(value);
      if (!component.regKey) return "expected HKCR, HKCU, HKLM, HKU or 0 to 4";
      return std::nullopt;
    });
    reader.Key("RegSubKey", TextInto(component.regSubKey));
  }
  reader.Run();
  if (component.file.empty()) errors.push_back(At(block.line) + "[" + block.name + "] needs a File");
}

void ReadPack(const Block& block, ReleaseDescription& release, std::vector<std::string>& errors) {
  PackEntry pack;
  pack.line = block.line;
  BlockReader reader(block, errors);
  reader.Key("File", TextInto(pack.file));
  reader.Key("Zip", FlagInto(pack.zip));
  reader.Key("MD5", FlagInto(pack.digest));
  reader.Key("Check", NumberInto(pack.check, 0, 3));
  reader.Key("Flag", [&](const std::string& value) -> std::optional<std::string> {
    if (value != "MD5" && value != "No") return "expected MD5 or No, not \"" + value + "\"";
    pack.versionless = value == "MD5";
    return std::nullopt;
  });
  reader.Key("Version", [&](const std::string& value) -> std::optional<std::string> {
    pack.version = Number(value, 0, UINT32_MAX);
    if (!pack.version) return "expected a number, not \"" + value + "\"";
    return std::nullopt;
  });
  reader.Run();
  if (pack.file.empty()) errors.push_back(At(block.line) + "[Pack] needs a File");
  release.packs.push_back(std::move(pack));
}

void ReadListedServer(const Block& block, ReleaseDescription& release, std::vector<std::string>& errors) {
  ListedServer server;
  server.line = block.line;
  BlockReader reader(block, errors);
  reader.Key("Name", TextInto(server.name));
  reader.Key("Label", TextInto(server.label));
  reader.Key("Address", TextInto(server.address));
  reader.Run();
  if (server.name.empty() || server.label.empty() || server.address.empty())
    errors.push_back(At(block.line) + "[ListedServer] needs a Name, a Label and an Address");
  release.listedServers.push_back(std::move(server));
}

void ReadRegistryMove(const Block& block, ReleaseDescription& release, std::vector<std::string>& errors) {
  RegistryMoveEntry move;
  move.line = block.line;
  BlockReader reader(block, errors);
  reader.Key("From", RegistryPathInto(move.fromRoot, move.fromSubKey));
  reader.Key("FromValue", TextInto(move.fromValue));
  reader.Key("DeleteSource", FlagInto(move.deleteSource));
  reader.Key("To", RegistryPathInto(move.toRoot, move.toSubKey));
  reader.Key("ToValue", TextInto(move.toValue));
  reader.Run();
  if (move.fromValue.empty() || move.toValue.empty())
    errors.push_back(At(block.line) + "[RegistryMove] needs a FromValue and a ToValue");
  release.registryMoves.push_back(std::move(move));
}

}  // namespace

DescriptionParse ParseReleaseDescription(std::string_view text) {
  DescriptionParse result;
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);
  if (!platform::IsValidUtf8(text)) {
    result.errors.push_back("the description is not UTF-8 text");
    return result;
  }
  ReleaseDescription release;
  std::map<std::string, int> singleSections;
  for (const Block& block : ReadBlocks(text, result.errors)) {
    const std::string name = Upper(block.name);
    const bool single = name == "RELEASE" || name == "LAUNCHER" || name == "CLIENT" || name == "ERRORREPORTER";
    if (single && singleSections[name]++ > 0) {
      result.errors.push_back(At(block.line) + "[" + block.name + "] given twice");
      continue;
    }
    if (name == "RELEASE") {
      ReadRelease(block, release, result.errors);
    } else if (name == "LAUNCHER") {
      ReadComponent(block, release.launcher, false, false, result.errors);
    } else if (name == "CLIENT") {
      ReadComponent(block, release.client, true, false, result.errors);
    } else if (name == "ERRORREPORTER") {
      ReadComponent(block, release.errorReporter, false, true, result.errors);
    } else if (name == "PACK") {
      ReadPack(block, release, result.errors);
    } else if (name == "DELETE") {
      BlockReader reader(block, result.errors);
      reader.Key("File", [&](const std::string& value) -> std::optional<std::string> {
        if (value.empty()) return "needs a value";
        release.deleteList.push_back(value);
        return std::nullopt;
      }, true);
      reader.Run();
    } else if (name == "LOGINSERVERS") {
      BlockReader reader(block, result.errors);
      reader.Key("Address", [&](const std::string& value) -> std::optional<std::string> {
        if (value.empty()) return "needs a value";
        release.loginAddresses.push_back(value);
        return std::nullopt;
      }, true);
      reader.Run();
    } else if (name == "LISTEDSERVER") {
      ReadListedServer(block, release, result.errors);
    } else if (name == "REGISTRYMOVE") {
      ReadRegistryMove(block, release, result.errors);
    } else {
      result.errors.push_back(At(block.line) + "unknown section [" + block.name + "]");
    }
  }
  if (result.errors.empty()) result.description = std::move(release);
  return result;
}
