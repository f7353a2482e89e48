#include "tools/publish/Publisher.h"

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "download/ZipArchive.h"
#include "patch/FileVersion.h"
#include "patch/Md5.h"
#include "patch/ReleaseSignature.h"
#include "patch/TextChecksum.h"
#include "patch/UpdateInfo.h"
#include "platform/Process.h"
#include "tools/publish/ElfVersionNote.h"
#include "tools/publish/ReleaseDescription.h"
#include "tools/publish/ReleaseFiles.h"
#include "tools/publish/Signing.h"
#include "tools/publish/ZipWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUpdateInfoName = "Update.NFO";
constexpr const char* kSignatureName = "Update.NFO.sig";
constexpr const char* kAbsentName = "Test.SPF";  // installations skip an entry of this name
constexpr const char* kClientName = "SolaneClient.exe";

// Update.NFO as it is built: sections of key=value lines. Every value is checked against what
// the launcher's reader keeps: it drops empty values, removes tabs, ends a line at CR or LF,
// cuts at ";" and reads at most 259 bytes.
class InfoText {
 public:
  explicit InfoText(std::vector<std::string>& errors) : errors_(errors) {}

  void Section(const std::string& name) {
    text_ += "[" + name + "]\r\n";
    section_ = name;
  }

  void Put(const std::string& key, const std::string& value) {
    const std::string where = "[" + section_ + "] " + key + ": ";
    if (value.empty())
      errors_.push_back(where + "an empty value is dropped by the launcher");
    else if (value.size() > UpdateInfo::kMaxStringLength)
      errors_.push_back(where + "a value of " + std::to_string(value.size()) + " bytes; the launcher reads at most " +
                        std::to_string(UpdateInfo::kMaxStringLength));
    else if (value.find_first_of(";\t\r\n") != std::string::npos)
      errors_.push_back(where + "\"" + value + "\" holds a \";\", tab or line break, which the launcher cuts");
    text_ += key + "=" + value + "\r\n";
  }

  void Put(const std::string& key, int64_t value) { Put(key, std::to_string(value)); }

  const std::string& Text() const { return text_; }

 private:
  std::vector<std::string>& errors_;
  std::string text_ = "; Written by solane-publish. Lines end with CR LF.\r\n";
  std::string section_;
};

// A file that goes to the server folder.
struct ServerFile {
  std::string name;         // as announced
  std::string source;       // in the release folder
  std::string archiveName;  // its zip archive, or empty
};

struct Plan {
  uint64_t serial = 0;  // a signed release's; it also announces each file's SHA-256
  std::vector<ServerFile> files;
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
};

// Checks that a named file of the release exists, can be published and is not empty (an
// installation cannot fetch a file whose size is 0). Gives its path.
std::optional<std::string> ReleaseFile(const std::string& releaseDir, const std::string& name, Plan& plan) {
  if (auto problem = FileNameProblem(name)) {
    plan.errors.push_back(*problem);
    return std::nullopt;
  }
  const std::string path = FileBelow(releaseDir, name);
  std::error_code code;
  if (!fs::is_regular_file(path, code)) {
    plan.errors.push_back(name + ": no such file in the release folder");
    return std::nullopt;
  }
  if (fs::file_size(path, code) == 0 || code) {
    plan.errors.push_back(name + ": the file is empty");
    return std::nullopt;
  }
  return path;
}

// A file to be zipped must fit the archive's 32-bit sizes: known from its size before anything
// is digested or compressed.
bool FitsZip(const std::string& name, const std::string& path, Plan& plan) {
  std::error_code code;
  if (fs::file_size(path, code) <= kLargestZipSize && !code) return true;
  plan.errors.push_back(name + ": 4 GiB or more cannot be zipped (the archive's sizes are 32-bit and installations "
                               "read no ZIP64); publish it with Zip = no");
  return false;
}

void AddServerFile(Plan& plan, const std::string& name, const std::string& source, bool zip) {
  ServerFile file{name, source, {}};
  if (zip) {
    file.archiveName = ZipNameFor(name);
    if (file.archiveName.empty())
      plan.errors.push_back(name + ": a zipped file needs a \".\" in its name, not at its start, to name its archive");
  }
  plan.files.push_back(std::move(file));
}

void PutComponent(InfoText& info, Plan& plan, const std::string& releaseDir, const ComponentEntry& component,
                  const char* label) {
  const auto path = ReleaseFile(releaseDir, component.file, plan);
  if (!path) return;
  const auto words = ReadVersionWords(*path);
  if (!words || (words->high == 0 && words->low == 0)) {
    // An installed copy could never match: it would be downloaded on every run.
    plan.errors.push_back(component.file + ": the " + label + " carries no version (stamp it first)");
    return;
  }
  if (component.zip && !FitsZip(component.file, *path, plan)) return;
  info.Put("VersionMajorHigh", words->high >> 16);
  info.Put("VersionMajorLow", words->high & 0xffff);
  info.Put("VersionMinorHigh", words->low >> 16);
  info.Put("VersionMinorLow", words->low & 0xffff);
  info.Put("FileName", component.file);
  info.Put("MD5", component.digest ? Md5OfFile(*path) : "No");
  if (plan.serial != 0) info.Put("SHA256", Sha256OfFile(*path));
  info.Put("ZIP", component.zip ? "1" : "0");
  AddServerFile(plan, component.file, *path, component.zip);
}

void PutRegistryMoves(InfoText& info, const ReleaseDescription& release) {
  info.Put("RegMoveCount", static_cast<int64_t>(release.registryMoves.size()));
  for (size_t i = 0; i < release.registryMoves.size(); ++i) {
    const RegistryMoveEntry& move = release.registryMoves[i];
    const std::string prefix = std::to_string(i + 1) + "_";
    info.Put(prefix + "From_RegKey", move.fromRoot);
    if (!move.fromSubKey.empty()) info.Put(prefix + "From_RegSubKey", move.fromSubKey);
    info.Put(prefix + "From_RegValue", move.fromValue);
    info.Put(prefix + "Delete", move.deleteSource ? 1 : 0);
    info.Put(prefix + "To_RegKey", move.toRoot);
    if (!move.toSubKey.empty()) info.Put(prefix + "To_RegSubKey", move.toSubKey);
    info.Put(prefix + "To_RegValue", move.toValue);
  }
}

void PutLauncherSection(InfoText& info, Plan& plan, const std::string& releaseDir, const ReleaseDescription& release) {
  info.Section("SolaneLauncher");
  // Earlier launchers compared the digest of the file of this name beside themselves, while the
  // launcher lives under its bare name: for them a digest would fetch it on every run.
  if (release.launcher.digest && release.launcher.file.find_first_of("/\\") != std::string::npos)
    plan.errors.push_back(release.launcher.file + ": a launcher inside a server folder needs MD5 = no");
  PutComponent(info, plan, releaseDir, release.launcher, "launcher");
  if (plan.serial != 0) info.Put("Serial", std::to_string(plan.serial));
  if (!release.versionLine.empty()) info.Put("VersionDesc", release.versionLine);
  if (!release.noticeAddress.empty()) info.Put("Emergency_NoticeURL", release.noticeAddress);
  if (!release.locale.empty()) info.Put("Locale", release.locale);
  info.Put("BandWidth", release.bandWidth);
  info.Put("ErrorShow", release.errorShow);
  info.Put("ErrorRun", release.errorRun);
  if (!release.errorMessage.empty()) info.Put("ErrorMessage", release.errorMessage);
  if (release.errorShow && release.errorMessage.empty())
    plan.warnings.push_back("[Release] ErrorShow is 1 but there is no ErrorMessage to show");
  PutRegistryMoves(info, release);
}

// A pack's version is the 32-bit number in its last four bytes; the launcher reads the announced
// version as a signed number of 1 or more, so only 1 to 2^31-1 can ever match.
void PutPack(InfoText& info, Plan& plan, const std::string& releaseDir, const PackEntry& pack, size_t index) {
  const std::string prefix = std::to_string(index) + "_";
  const std::string where = pack.file + ": ";
  if (pack.file == kAbsentName) {
    plan.errors.push_back(where + "installations treat a pack of this name as absent; rename it");
    return;
  }
  const auto path = ReleaseFile(releaseDir, pack.file, plan);
  if (!path) return;
  const auto trailer = ReadPackTrailer(*path);
  if (!trailer) {
    plan.errors.push_back(where + "shorter than the four-byte version at its end");
    return;
  }
  if (*trailer < 1 || *trailer > INT32_MAX) {
    plan.errors.push_back(where + "its version (last four bytes) is " + std::to_string(*trailer) +
                          "; installations accept only 1 to 2147483647");
    return;
  }
  if (pack.version && *pack.version != *trailer) {
    plan.errors.push_back(where + "announced as version " + std::to_string(*pack.version) +
                          " but its last four bytes say " + std::to_string(*trailer) +
                          "; installations would download it on every run");
    return;
  }
  if (pack.versionless && !pack.digest) {
    plan.errors.push_back(where + "Flag MD5 ignores the version, so it needs MD5 = yes or the pack is never fetched");
    return;
  }
  if (pack.zip && !FitsZip(pack.file, *path, plan)) return;
  info.Put(prefix + "FileName", pack.file);
  info.Put(prefix + "Version", *trailer);
  info.Put(prefix + "MD5", pack.digest ? Md5OfFile(*path) : "No");
  if (plan.serial != 0) info.Put(prefix + "SHA256", Sha256OfFile(*path));
  info.Put(prefix + "ZIP", pack.zip ? "Yes" : "No");
  info.Put(prefix + "Flag", pack.versionless ? "MD5" : "No");
  info.Put(prefix + "Check", pack.check);
  if (pack.check == 1 || pack.check == 3) {
    const std::string date = PackDateText(*path);
    if (date.empty()) plan.errors.push_back(where + "its date cannot be read");
    info.Put(prefix + "Date", date.empty() ? "0" : date);
  }
  // Written as a signed 32-bit number: readers that take it as an integer get all 32 bits.
  if (pack.check == 2 || pack.check == 3) info.Put(prefix + "CRC", static_cast<int32_t>(TextModeCrc32(*path)));
  AddServerFile(plan, pack.file, *path, pack.zip);
}

void PutResourceSection(InfoText& info, Plan& plan, const std::string& releaseDir, const ReleaseDescription& release) {
  info.Section("Resource");
  info.Put("ResourceCount", static_cast<int64_t>(release.packs.size()));
  for (size_t i = 0; i < release.packs.size(); ++i) PutPack(info, plan, releaseDir, release.packs[i], i + 1);
}

void PutDeleteSection(InfoText& info, Plan& plan, const ReleaseDescription& release) {
  info.Section("Delete");
  info.Put("DeleteCount", static_cast<int64_t>(release.deleteList.size()));
  std::map<std::string, std::string> published;
  for (const ServerFile& file : plan.files) published[ComparableName(file.name)] = file.name;
  for (size_t i = 0; i < release.deleteList.size(); ++i) {
    const std::string& name = release.deleteList[i];
    if (auto problem = FileNameProblem(name)) plan.errors.push_back("[Delete] " + *problem);
    if (name == kAbsentName) plan.errors.push_back("[Delete] installations skip an entry named " + name);
    if (published.count(ComparableName(name)))
      plan.errors.push_back("[Delete] " + name + " is also published: installations would delete what they fetch");
    info.Put(std::to_string(i + 1) + "_FileName", name);
  }
}

void PutLoginSections(InfoText& info, Plan& plan, const ReleaseDescription& release) {
  if (release.listedServers.empty() && release.loginAddresses.empty())
    plan.errors.push_back("no login server: add [LoginServers] Address lines or [ListedServer] sections");
  info.Section("LoginServerList");
  info.Put("LoginServerListCount", static_cast<int64_t>(release.listedServers.size()));
  for (size_t i = 0; i < release.listedServers.size(); ++i) {
    const std::string prefix = std::to_string(i + 1) + "_";
    info.Put(prefix + "Name", release.listedServers[i].name);
    info.Put(prefix + "Label", release.listedServers[i].label);
    info.Put(prefix + "IP", release.listedServers[i].address);
  }
  if (!release.listedServers.empty() && release.loginAddresses.empty())
    plan.warnings.push_back("only CHINA and USA installations show [ListedServer] servers; others pick from "
                            "[LoginServers] only when no server is listed");
  info.Section("LoginServer");
  info.Put("LoginServerCount", static_cast<int64_t>(release.loginAddresses.size()));
  for (size_t i = 0; i < release.loginAddresses.size(); ++i)
    info.Put(std::to_string(i + 1) + "_IP", release.loginAddresses[i]);
}

// Two files, or a file and an archive, that would share one name on the server.
void CheckNameClashes(Plan& plan) {
  std::map<std::string, std::string> taken;
  auto claim = [&](const std::string& name, const std::string& owner) {
    const auto [place, inserted] = taken.emplace(ComparableName(name), owner);
    if (!inserted) plan.errors.push_back(owner + " and " + place->second + " share the server name " + name);
  };
  claim(kUpdateInfoName, kUpdateInfoName);
  claim(kSignatureName, kSignatureName);
  for (const ServerFile& file : plan.files) claim(file.name, file.name);
  for (const ServerFile& file : plan.files)
    if (!file.archiveName.empty()) claim(file.archiveName, "the archive of " + file.name);
}

Plan PlanRelease(const ReleaseDescription& release, const std::string& releaseDir, uint64_t serial,
                 std::string& infoText) {
  Plan plan;
  plan.serial = serial;
  if (!release.launcher.present) plan.errors.push_back("no [Launcher] section: installations refuse such a release");
  if (!release.client.present) plan.errors.push_back("no [Client] section: installations refuse such a release");
  if (release.packs.empty()) plan.errors.push_back("no [Pack] section: installations refuse a release without packs");
  if (!plan.errors.empty()) return plan;

  InfoText info(plan.errors);
  PutLauncherSection(info, plan, releaseDir, release);
  info.Section("SolaneClient");
  // Installations start the client by this fixed name beside the launcher.
  if (release.client.file != kClientName)
    plan.errors.push_back("[Client] File = " + release.client.file + ": installations start " + kClientName +
                          " beside the launcher, so the client must be published under that name");
  PutComponent(info, plan, releaseDir, release.client, "client");
  if (release.client.regKey) info.Put("RegKey", *release.client.regKey);
  if (!release.client.regSubKey.empty()) info.Put("RegSubKey", release.client.regSubKey);
  info.Section("SolaneError");
  info.Put("Update", release.errorReporter.present && release.errorReporter.update ? 1 : 0);
  if (release.errorReporter.present) PutComponent(info, plan, releaseDir, release.errorReporter, "error reporter");
  PutResourceSection(info, plan, releaseDir, release);
  PutDeleteSection(info, plan, release);
  PutLoginSections(info, plan, release);
  CheckNameClashes(plan);
  infoText = info.Text();
  return plan;
}

// A file of the release folder that the description names nowhere is not published: most often
// a pack that was meant to be listed.
void WarnOfUnlistedFiles(const ReleaseDescription& release, const PublishRequest& request,
                         std::vector<std::string>& warnings) {
  std::set<std::string> named;
  for (const ComponentEntry* component : {&release.launcher, &release.client, &release.errorReporter})
    if (component->present) named.insert(ComparableName(component->file));
  for (const PackEntry& pack : release.packs) named.insert(ComparableName(pack.file));
  std::error_code code;
  const fs::path description =
      request.descriptionPath.empty() ? fs::path() : fs::weakly_canonical(request.descriptionPath, code);
  std::vector<std::string> unlisted;
  for (fs::recursive_directory_iterator file(request.releaseDir, code), end; !code && file != end;
       file.increment(code)) {
    std::error_code fileCode;
    if (!file->is_regular_file(fileCode) || fs::weakly_canonical(file->path(), fileCode) == description) continue;
    const std::string name = fs::relative(file->path(), request.releaseDir, fileCode).generic_string();
    if (!named.count(ComparableName(name))) unlisted.push_back(name);
  }
  std::sort(unlisted.begin(), unlisted.end());
  constexpr size_t kNamedAtMost = 10;
  for (size_t i = 0; i < unlisted.size() && i < kNamedAtMost; ++i)
    warnings.push_back(unlisted[i] + ": in the release folder but named in no section of the description; "
                                     "not published");
  if (unlisted.size() > kNamedAtMost)
    warnings.push_back("and " + std::to_string(unlisted.size() - kNamedAtMost) +
                       " more files of the release folder that the description does not name");
}

bool WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  return !out.fail();
}

// Fills `staging` with the files, their archives, Update.NFO and its signature, if any.
bool FillFolder(const Plan& plan, const std::string& infoText, const std::string& signatureText,
                const fs::path& staging, std::vector<std::string>& errors) {
  std::error_code code;
  for (const ServerFile& file : plan.files) {
    const fs::path target = FileBelow(staging.string(), file.name);
    fs::create_directories(target.parent_path(), code);
    if (!fs::copy_file(file.source, target, fs::copy_options::overwrite_existing, code)) {
      errors.push_back(file.name + ": cannot copy into the server folder: " + code.message());
      return false;
    }
    if (file.archiveName.empty()) continue;
    std::string problem;
    std::string entryName = file.name;  // zip names separate folders with "/"
    for (char& c : entryName)
      if (c == '\\') c = '/';
    if (!WriteSingleFileZip(file.source, entryName, FileBelow(staging.string(), file.archiveName), problem)) {
      errors.push_back(file.name + ": " + problem);
      return false;
    }
  }
  if (!WriteText(staging / kUpdateInfoName, infoText)) {
    errors.push_back(std::string("cannot write ") + kUpdateInfoName);
    return false;
  }
  if (!signatureText.empty() && !WriteText(staging / kSignatureName, signatureText)) {
    errors.push_back(std::string("cannot write ") + kSignatureName);
    return false;
  }
  return true;
}

// A signed release's serial: above the one the server folder announces now, and at least the
// time in seconds, so that it grows also when a release goes to a fresh folder.
uint64_t NextSerial(const std::string& serverDir) {
  uint64_t previous = 0;
  std::ifstream in(FileBelow(serverDir, kUpdateInfoName), std::ios::binary);
  if (in) {
    std::stringstream text;
    text << in.rdbuf();
    UpdateInfo info;
    info.Parse(DecodeServerText(text.str(), 0));
    info.SetLoadedPath(kUpdateInfoName);
    previous = ParseReleaseSerial(info.ReadString("SolaneLauncher", "Serial", "")).value_or(0);
  }
  return std::max<uint64_t>(previous + 1, static_cast<uint64_t>(std::time(nullptr)));
}

// Puts the finished folder in place of `target`. The old folder is moved aside first and put
// back when the new one cannot take its place.
bool SwapIntoPlace(const fs::path& staging, const fs::path& target, std::vector<std::string>& errors) {
  std::error_code code;
  const bool hadTarget = fs::exists(target, code);
  const fs::path aside = target.string() + ".replaced-" + std::to_string(platform::CurrentProcessId());
  if (hadTarget) {
    fs::remove_all(aside, code);
    fs::rename(target, aside, code);
    if (code) {
      errors.push_back("cannot move the old server folder aside: " + code.message());
      return false;
    }
  }
  fs::rename(staging, target, code);
  if (code) {
    errors.push_back("cannot put the new server folder in place: " + code.message());
    if (hadTarget) fs::rename(aside, target, code);
    return false;
  }
  if (hadTarget) fs::remove_all(aside, code);
  return true;
}

bool IsWithin(const fs::path& inner, const fs::path& outer) {
  auto innerPart = inner.begin();
  for (const auto& part : outer) {
    if (part.empty()) continue;
    if (innerPart == inner.end() || *innerPart != part) return false;
    ++innerPart;
  }
  return true;
}

// The server folder may replace an earlier publish or fill an empty folder, and never holds the
// release: replacing it must lose nothing of the operator's.
std::optional<fs::path> UsableServerFolder(const PublishRequest& request, std::vector<std::string>& errors) {
  std::error_code code;
  fs::path target = fs::weakly_canonical(fs::absolute(request.serverDir, code), code);
  const fs::path release = fs::weakly_canonical(fs::absolute(request.releaseDir, code), code);
  if (code || request.serverDir.empty()) {
    errors.push_back("cannot use the server folder " + request.serverDir);
    return std::nullopt;
  }
  if (!target.has_filename()) target = target.parent_path();
  if (IsWithin(release, target)) {
    errors.push_back("the server folder " + request.serverDir + " holds the release folder; choose another");
    return std::nullopt;
  }
  if (fs::exists(target, code)) {
    if (!fs::is_directory(target, code)) {
      errors.push_back(request.serverDir + " is not a folder");
      return std::nullopt;
    }
    if (!fs::is_empty(target, code) && !fs::exists(target / kUpdateInfoName, code)) {
      errors.push_back(request.serverDir + " holds files but no " + kUpdateInfoName +
                       "; publishing replaces the whole folder, so give an empty or earlier server folder");
      return std::nullopt;
    }
  }
  return target;
}

std::optional<std::string> DescriptionText(const PublishRequest& request, std::vector<std::string>& errors) {
  if (!request.descriptionText.empty()) return request.descriptionText;
  std::ifstream in(request.descriptionPath, std::ios::binary);
  if (!in) {
    errors.push_back("cannot read the description " + request.descriptionPath);
    return std::nullopt;
  }
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

PublishResult Publish(const PublishRequest& request) {
  PublishResult result;
  const auto text = DescriptionText(request, result.errors);
  if (!text) return result;
  DescriptionParse parse = ParseReleaseDescription(*text);
  if (!parse.description) {
    result.errors = std::move(parse.errors);
    return result;
  }
  std::error_code code;
  if (!fs::is_directory(request.releaseDir, code)) {
    result.errors.push_back("no release folder " + request.releaseDir);
    return result;
  }
  std::optional<SigningKey> signingKey;
  if (!request.signingKeyPath.empty()) {
    std::string error;
    signingKey = SigningKey::Load(request.signingKeyPath, error, result.warnings);
    if (!signingKey) {
      result.errors.push_back(error);
      return result;
    }
    result.serial = NextSerial(request.serverDir);
  }
  Plan plan = PlanRelease(*parse.description, request.releaseDir, result.serial, result.updateInfo);
  result.warnings.insert(result.warnings.end(), plan.warnings.begin(), plan.warnings.end());
  WarnOfUnlistedFiles(*parse.description, request, result.warnings);
  result.errors = plan.errors;
  const auto target = UsableServerFolder(request, result.errors);
  if (!result.errors.empty() || !target) {
    result.updateInfo.clear();
    return result;
  }

  const fs::path staging = target->string() + ".publishing-" + std::to_string(platform::CurrentProcessId());
  fs::remove_all(staging, code);
  if (!fs::create_directories(staging, code)) {
    result.errors.push_back("cannot create " + staging.string() + ": " + code.message());
    return result;
  }
  std::string signatureText;
  if (signingKey) {
    const std::optional<std::string> signature = signingKey->SignatureText(result.updateInfo);
    if (!signature) {
      result.errors.push_back("Update.NFO could not be signed");
      result.updateInfo.clear();
      return result;
    }
    signatureText = *signature;
  }
  if (!FillFolder(plan, result.updateInfo, signatureText, staging, result.errors) ||
      !SwapIntoPlace(staging, *target, result.errors)) {
    fs::remove_all(staging, code);
    result.updateInfo.clear();
    return result;
  }
  result.ok = true;
  return result;
}

std::string StampVersion(const std::string& path, const std::string& versionText) {
  uint32_t parts[4];
  int count = 0;
  std::string rest = versionText + ".";
  for (size_t dot; count < 5 && (dot = rest.find('.')) != std::string::npos; rest.erase(0, dot + 1)) {
    const std::string part = rest.substr(0, dot);
    if (part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoul(part) > 0xffff || count == 4)
      return "expected a version A.B.C.D with each part from 0 to 65535, not \"" + versionText + "\"";
    parts[count++] = static_cast<uint32_t>(std::stoul(part));
  }
  if (count != 4) return "expected a version A.B.C.D with each part from 0 to 65535, not \"" + versionText + "\"";
  const uint32_t high = parts[0] << 16 | parts[1], low = parts[2] << 16 | parts[3];
  if (StampFileVersion(path, high, low)) return {};
  if (ReadVersionWords(path)) return path + ": its version record cannot be written";
  if (IsElfFile(path)) return AddElfVersionNote(path, high, low);
  return path + ": has no version record; a Windows program gets one from a VERSIONINFO resource when it is "
                "built, which stamp then sets";
}
