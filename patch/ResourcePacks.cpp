// The resource packs (*.SPF): decide which are outdated, delete the ones no longer listed, then
// download the outdated ones under one total progress bar and copy each into place.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "download/ZipArchive.h"
#include "patch/ParallelDigests.h"
#include "patch/PatchEngine.h"
#include "platform/AsciiText.h"
#include "platform/Clock.h"
#include "platform/DirectoryList.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kResourceSection = "Resource";
constexpr const char* kAbsentName = "Test.SPF";
constexpr const char* kPackExtension = ".spf";

bool IsPackFileName(const std::string& name) {
  const std::string extension = kPackExtension;
  return name.size() >= extension.size() && platform::AsciiLowered(name.substr(name.size() - extension.size())) == extension;
}

// The pack's own version: its last four bytes, little-endian. 0 when they cannot be read.
uint32_t PackTrailer(const std::string& path) {
  std::FILE* file = platform::OpenFile(path, "rb");
  if (!file) return 0;
  unsigned char bytes[4];
  const bool read = std::fseek(file, -4, SEEK_END) == 0 && std::fread(bytes, 1, 4, file) == 4;
  std::fclose(file);
  if (!read) return 0;
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

std::string ResourceStatus(int messageId) {
  return LoadCatalogueString(kLabelResource) + " " + LoadCatalogueString(messageId);
}

}  // namespace

void PatchEngine::UpdateResourcePacks() {
  SetStatusText(ResourceStatus(kMessageStarting));
  const PackPlan plan = DecidePacks();
  SetStatusText(ResourceStatus(kMessageChecking));
  PurgeUnlistedPacks(plan.allPacks);
  if (!DownloadPacks(plan)) return;
  if (!IsCancelled() && RecordedFailures().empty()) SetStatusText(ResourceStatus(kMessageCompleted));
}

namespace {

// One "Resource" entry as Update.NFO gives it.
struct PackEntry {
  uint32_t index = 0;
  std::string name;
  std::optional<std::string> path;  // none when the name cannot be used
  bool usable = false;
  uint32_t version = 0;
  std::string digest;
  std::optional<std::string> keptDigest;  // the installed file's, when no worker need read it
  std::string zip;
  bool md5Flag = false;
};

}  // namespace

PatchEngine::PackPlan PatchEngine::DecidePacks() {
  // The entries first, so that every announced digest can be computed ahead, side by side; the
  // decisions below then take them in entry order, with their messages as before.
  std::vector<PackEntry> entries;
  std::vector<std::string> digestPaths;
  std::vector<size_t> digestSlot;  // per entry: its place in digestPaths
  const uint32_t count = static_cast<uint32_t>(updateInfo_.ReadInt(kResourceSection, "ResourceCount", 0));
  // Each name's place in Temp is checked below. A missing Temp would be searched for under
  // another spelling in the launcher folder at every entry, which made the pass quadratic.
  if (count > 0 && !IsCancelled()) EnsureDirectories(platform::JoinPath(TempDir(), kAbsentName));
  // This loop writes nothing: what it learns of each folder serves all its names.
  platform::LookupMemo memo;
  for (uint32_t index = 1; index <= count && index != 0 && !IsCancelled(); ++index) {
    const std::string key = std::to_string(index) + "_";
    PackEntry entry;
    entry.index = index;
    entry.name = updateInfo_.ReadString(kResourceSection, key + "FileName", kAbsentName);
    if (entry.name == kAbsentName) continue;
    entry.path = InstallPath(entry.name, &memo);
    entry.usable = entry.path && TempPath(entry.name, &memo);
    entry.version = static_cast<uint32_t>(updateInfo_.ReadInt(kResourceSection, key + "Version", 0));
    entry.digest = updateInfo_.ReadString(kResourceSection, key + "MD5", "No");
    entry.zip = updateInfo_.ReadString(kResourceSection, key + "ZIP", "No");
    entry.md5Flag = updateInfo_.ReadString(kResourceSection, key + "Flag", "No") == "MD5";
    digestSlot.push_back(digestPaths.size());
    if (entry.usable && entry.digest != "No") {
      // A digest kept from an earlier run is known at once: a run that finds every pack unchanged
      // starts no worker at all.
      entry.keptDigest = KeptInstalledDigest(*entry.path);
      if (!entry.keptDigest) digestPaths.push_back(*entry.path);
    }
    entries.push_back(std::move(entry));
  }
  ParallelDigests digests(std::move(digestPaths), digestWorkers_.load(),
                          [this](const std::string& path) { return InstalledDigest(path); });

  PackPlan plan;
  for (size_t i = 0; i < entries.size() && !IsCancelled(); ++i) {
    const PackEntry& entry = entries[i];
    if (!entry.usable) {
      RecordUnusableName(entry.name);
      continue;
    }
    SetStatusText(entry.name + " " + LoadCatalogueString(kMessageChecking));
    const bool versionDiffers = !entry.md5Flag && PackTrailer(*entry.path) != entry.version;
    const bool digestDiffers =
        entry.digest != "No" && (entry.keptDigest ? *entry.keptDigest : digests.Get(digestSlot[i])) != entry.digest;
    const bool checkFailed = CheckPackIntegrity(kResourceSection, std::to_string(entry.index)) != 0;
    if (IsCancelled()) break;
    if (versionDiffers || digestDiffers || checkFailed)
      plan.toUpdate.push_back({entry.name, *entry.path, entry.zip, AnnouncedDigestOf(kResourceSection, std::to_string(entry.index) + "_"),
                               "Resource " + std::to_string(entry.version) + " " + entry.digest + " " + entry.zip});
    plan.allPacks.push_back(entry.name);
  }
  return plan;
}

void PatchEngine::PurgeUnlistedPacks(const std::vector<std::string>& allPacks) {
  if (allPacks.empty()) return;
  std::unordered_set<std::string> listed;
  for (const std::string& name : allPacks) listed.insert(platform::AsciiLowered(name));
  const std::string folder = LauncherDir();
  const auto names = platform::ListFileNames(folder);
  if (!names) {
    // The folder cannot be read: ERROR_FILE_NOT_FOUND, as the system would say.
    ReportError(TransferFailure{TransferFailure::Kind::System, 2, 0, {}});
    return;
  }
  for (const std::string& name : *names) {
    if (IsCancelled()) return;
    if (!IsPackFileName(name) || listed.count(platform::AsciiLowered(name))) continue;
    DeleteUnwantedFile(platform::JoinPath(folder, name), name);
  }
}

int64_t PatchEngine::SumPackSizes(const PackPlan& plan) {
  int64_t total = 0;
  for (const PackPlan::Pack& pack : plan.toUpdate) {
    if (IsCancelled()) break;
    const bool zipped = pack.zip != "No";
    SetZipFlag(zipped);
    const std::string zipName = ZipNameFor(pack.name);
    const int64_t zipSize = zipped && !zipName.empty() ? RemoteFileSize(zipName) : 0;
    total += zipSize > 0 ? zipSize : RemoteFileSize(pack.name);
  }
  return total;
}

bool PatchEngine::DownloadPacks(const PackPlan& plan) {
  SetZipFlag(false);
  SetTotalRange(SumPackSizes(plan), 0);
  int64_t bytesDone = 0;
  for (const PackPlan::Pack& pack : plan.toUpdate) {
    if (IsCancelled()) break;
    SetZipFlag(pack.zip != "No");
    SetDownloadAnnouncement(pack.announcement, pack.digest.md5, pack.digest.sha256);
    if (!PrepareDownload(pack.name, true, false)) {
      if (!IsCancelled()) RecordFailure(pack.name + " " + LoadCatalogueString(kMessageWrongSize));
      return false;
    }
    StartDownload(pack.name);
    MonitorDownload(pack.name, bytesDone);
    if (IsCancelled()) break;
    bytesDone += session_.GetTransferred();
    session_.SetTransferred(0);
    if (!LastJobSucceeded()) {
      RecordFailure(pack.name + " " + LoadCatalogueString(kMessageUpdateFailed));
      continue;
    }
    // A pack that fails its check or its copy is recorded; the other packs still go on.
    InstallDownloadedFile(pack.name, pack.installedPath, pack.digest);
  }
  return true;
}
