#include "tools/publish/ServerVerify.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "download/ZipArchive.h"
#include "patch/FileVersion.h"
#include "patch/Md5.h"
#include "patch/TextChecksum.h"
#include "patch/UpdateInfo.h"
#include "platform/Path.h"
#include "platform/Process.h"
#include "tools/publish/ReleaseFiles.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kAbsentName = "Test.SPF";

class Verifier {
 public:
  Verifier(std::string serverDir, const std::optional<ReleaseKey>& key) : dir_(std::move(serverDir)), key_(key) {}

  std::vector<std::string> Run();

 private:
  bool ReadInfo();
  void CheckSignature();
  void CheckAcceptance();
  void CheckComponent(const std::string& section, const std::string& defaultName);
  void CheckPack(int index);
  void CheckDeleteList();
  void CheckLoginServers();
  // The announced file on disk, or empty after reporting why it cannot be used.
  std::string ExistingFile(const std::string& name);
  void CheckDigests(const std::string& name, const std::string& path, const std::string& section, const std::string& prefix);
  void CheckArchive(const std::string& name, const std::string& path);
  void Report(const std::string& problem) { problems_.push_back(problem); }

  std::string dir_;
  std::optional<ReleaseKey> key_;
  std::string infoBytes_;
  UpdateInfo info_;
  std::vector<std::string> problems_;
};

std::vector<std::string> Verifier::Run() {
  if (!ReadInfo()) return problems_;
  CheckSignature();
  CheckAcceptance();
  CheckComponent("SolaneLauncher", "SolaneLauncher.exe");
  CheckComponent("SolaneClient", "SolaneClient.exe");
  if (info_.ReadInt("SolaneError", "Update", 0) != 0) CheckComponent("SolaneError", "SolaneError.exe");
  const int count = info_.ReadInt("Resource", "ResourceCount", 0);
  for (int index = 1; index <= count; ++index) CheckPack(index);
  CheckDeleteList();
  CheckLoginServers();
  return problems_;
}

bool Verifier::ReadInfo() {
  std::ifstream in(FileBelow(dir_, "Update.NFO"), std::ios::binary);
  if (!in) {
    Report("Update.NFO: missing");
    return false;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = infoBytes_ = buffer.str();
  // The launcher forms lines only at CR LF: a bare LF joins lines, a last line without an end
  // is dropped.
  for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
    if (at == 0 || text[at - 1] != '\r') {
      Report("Update.NFO: a line ends without CR LF");
      break;
    }
  const size_t lastEnd = text.rfind("\r\n");
  if (text.size() != (lastEnd == std::string::npos ? 0 : lastEnd + 2))
    Report("Update.NFO: the text after the last line end is ignored");
  info_.Parse(DecodeServerText(text, 0));
  info_.SetLoadedPath(FileBelow(dir_, "Update.NFO"));
  return true;
}

void Verifier::CheckSignature() {
  std::ifstream in(FileBelow(dir_, "Update.NFO.sig"), std::ios::binary);
  if (!key_) {
    if (in) Report("Update.NFO.sig: not checked; give the publisher's public key (--key publisher.pub)");
    return;
  }
  if (!in) {
    Report("Update.NFO.sig: missing; launchers with the publisher's key refuse the release");
    return;
  }
  std::stringstream signature;
  signature << in.rdbuf();
  switch (CheckSignatureText(*key_, infoBytes_, signature.str())) {
    case SignatureCheck::Valid: break;
    case SignatureCheck::Unreadable: Report("Update.NFO.sig: not a readable signature"); break;
    case SignatureCheck::Mismatch:
      Report("Update.NFO.sig: does not verify with this key (Update.NFO changed after signing, or another key signed it)");
      break;
  }
  if (!ParseReleaseSerial(info_.ReadString("SolaneLauncher", "Serial", "")))
    Report("Update.NFO: [SolaneLauncher] has no Serial; launchers with the publisher's key refuse the release");
}

void Verifier::CheckAcceptance() {
  if (info_.ReadString("SolaneLauncher", "VersionMajorHigh", "NoData") == "NoData")
    Report("Update.NFO: [SolaneLauncher] has no VersionMajorHigh");
  if (info_.ReadString("SolaneClient", "VersionMajorHigh", "NoData") == "NoData")
    Report("Update.NFO: [SolaneClient] has no VersionMajorHigh");
  if (info_.ReadInt("Resource", "ResourceCount", 0) <= 0) Report("Update.NFO: [Resource] announces no pack");
}

std::string Verifier::ExistingFile(const std::string& name) {
  if (auto problem = FileNameProblem(name)) {
    Report(name + ": " + *problem);
    return {};
  }
  const std::string path = FileBelow(dir_, name);
  std::error_code code;
  if (!fs::is_regular_file(path, code)) {
    Report(name + ": missing");
    return {};
  }
  if (fs::file_size(path, code) == 0) {
    Report(name + ": empty; installations cannot fetch a file of size 0");
    return {};
  }
  return path;
}

void Verifier::CheckDigests(const std::string& name, const std::string& path, const std::string& section,
                            const std::string& prefix) {
  auto check = [&](const char* label, const std::string& announced, const std::string& actual) {
    if (actual != announced) Report(name + ": " + label + " is " + actual + ", announced " + announced);
  };
  const std::string md5 = info_.ReadString(section, prefix + "MD5", "No");
  if (md5 != "No") check("MD5", md5, Md5OfFile(path));
  const std::string sha256 = info_.ReadString(section, prefix + "SHA256", "No");
  if (sha256 != "No") check("SHA-256", sha256, Sha256OfFile(path));
  else if (key_) Report(name + ": no SHA256; launchers with the publisher's key refuse it");
}

void Verifier::CheckComponent(const std::string& section, const std::string& defaultName) {
  const std::string name = info_.ReadString(section, "FileName", defaultName);
  const std::string path = ExistingFile(name);
  if (path.empty()) return;
  const uint32_t high = ComposeVersionWord(info_.ReadInt(section, "VersionMajorHigh", 0),
                                           info_.ReadInt(section, "VersionMajorLow", 0));
  const uint32_t low = ComposeVersionWord(info_.ReadInt(section, "VersionMinorHigh", 0),
                                          info_.ReadInt(section, "VersionMinorLow", 0));
  const auto words = ReadVersionWords(path);
  if (!words || words->high != high || words->low != low)
    Report(name + ": its version differs from the one announced in [" + section + "]");
  CheckDigests(name, path, section, "");
  if (info_.ReadString(section, "ZIP", "0") != "0") CheckArchive(name, path);
}

void Verifier::CheckPack(int index) {
  const std::string prefix = std::to_string(index) + "_";
  const std::string name = info_.ReadString("Resource", prefix + "FileName", kAbsentName);
  const int32_t version = info_.ReadInt("Resource", prefix + "Version", 0);
  if (version < 1) Report("Update.NFO: pack " + std::to_string(index) + " has no version of 1 or more");
  if (name == kAbsentName) {
    Report("Update.NFO: pack " + std::to_string(index) + " has no FileName");
    return;
  }
  const std::string path = ExistingFile(name);
  if (path.empty()) return;
  const auto trailer = ReadPackTrailer(path);
  if (!trailer || *trailer != static_cast<uint32_t>(version))
    Report(name + ": its last four bytes say version " + (trailer ? std::to_string(*trailer) : "none") +
           ", announced " + std::to_string(version));
  CheckDigests(name, path, "Resource", prefix);
  if (info_.ReadString("Resource", prefix + "ZIP", "No") != "No") CheckArchive(name, path);

  const int check = info_.ReadInt("Resource", prefix + "Check", 0);
  if (check < 0 || check > 3) Report(name + ": check mode " + std::to_string(check) + " marks it outdated on every run");
  if ((check == 1 || check == 3) && !IsPackDateText(info_.ReadString("Resource", prefix + "Date", "0")))
    Report(name + ": its date is not \"[YYYY-MM-DD][hh:mm:ss]\"");
  if (check == 2 || check == 3) {
    const auto announced = static_cast<uint32_t>(std::strtoll(info_.ReadString("Resource", prefix + "CRC", "0").c_str(), nullptr, 10));
    const uint32_t actual = TextModeCrc32(path);
    if (actual != announced)
      Report(name + ": checksum is " + std::to_string(actual) + ", announced " + std::to_string(announced));
  }
}

// The archive must hold the file under its own name with the same bytes: installations unpack
// it into their temporary folder and take the file from there.
void Verifier::CheckArchive(const std::string& name, const std::string& path) {
  const std::string archiveName = ZipNameFor(name);
  if (archiveName.empty()) {
    Report(name + ": announced as zipped, but its name gives no archive name");
    return;
  }
  const std::string archivePath = ExistingFile(archiveName);
  if (archivePath.empty()) return;
  auto archive = ZipArchive::Open(archivePath);
  ZipEntryInfo summary;
  if (!archive || archive->GetEntry(-1, summary) != kZipSuccess) {
    Report(archiveName + ": not a readable zip archive");
    return;
  }
  const std::string wanted = platform::ToNativePath(name);
  std::error_code code;
  const uint64_t fileSize = fs::file_size(path, code);
  for (int32_t index = 0; index < summary.index; ++index) {
    ZipEntryInfo entry;
    if (archive->GetEntry(index, entry) != kZipSuccess || platform::ToNativePath(entry.name) != wanted) continue;
    if (entry.size != fileSize) {
      Report(archiveName + ": holds " + std::to_string(entry.size) + " bytes for " + name + ", the file has " +
             std::to_string(fileSize));
      return;
    }
    const fs::path scratch = fs::temp_directory_path(code) /
                             ("solane-verify-" + std::to_string(platform::CurrentProcessId()));
    fs::remove_all(scratch, code);
    fs::create_directories(scratch, code);
    const bool extracted = archive->SetBaseDir(scratch.string()) == kZipSuccess &&
                           archive->ExtractEntry(index, entry.name) == kZipSuccess;
    const std::string unpacked = extracted ? Md5OfFile(FileBelow(scratch.string(), entry.name)) : std::string();
    fs::remove_all(scratch, code);
    if (!extracted)
      Report(archiveName + ": " + name + " cannot be unpacked (" + ZipResultText(kZipLastResult) + ")");
    else if (unpacked != Md5OfFile(path))
      Report(archiveName + ": holds other data than " + name);
    return;
  }
  Report(archiveName + ": holds no entry named " + name);
}

void Verifier::CheckDeleteList() {
  const int count = info_.ReadInt("Delete", "DeleteCount", 0);
  for (int index = 1; index <= count; ++index) {
    const std::string name = info_.ReadString("Delete", std::to_string(index) + "_FileName", kAbsentName);
    if (name == kAbsentName) continue;
    if (auto problem = FileNameProblem(name)) Report("[Delete] " + *problem);
  }
}

void Verifier::CheckLoginServers() {
  if (info_.ReadInt("LoginServerList", "LoginServerListCount", 0) <= 0 &&
      info_.ReadInt("LoginServer", "LoginServerCount", 0) <= 0)
    Report("Update.NFO: no login server is announced");
}

}  // namespace

std::vector<std::string> VerifyServerFolder(const std::string& serverDir, const std::optional<ReleaseKey>& key) {
  return Verifier(serverDir, key).Run();
}
