// The download thread and its single job slot. The sequence thread submits one file at a time
// and watches it with the monitor; the download thread fetches it into the temporary folder,
// retries, unpacks archives and falls back to the plain file when an archive cannot be unpacked.
//
// Hand-over: StartDownload writes the name before it clears download idle; the download thread
// sets download idle only after it has finished the file; the monitor reads the byte counter
// only after it has seen download idle again.

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <optional>

#include "app/Settings.h"
#include "download/PartialDownloads.h"
#include "download/TransferError.h"
#include "download/TransferStats.h"
#include "download/ZipArchive.h"
#include "patch/Md5.h"
#include "patch/PatchEngine.h"
#include "platform/AsciiText.h"
#include "platform/Clock.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr int kAttempts = 10;
constexpr uint32_t kAttemptPauseMs = 500;
constexpr uint32_t kMonitorPeriodMs = 100;
constexpr uint32_t kIdleWaitMs = 1000;

// Moves a finished download from the partial folder to the temporary folder. Both lie in the
// installation, so this is a rename; a Temp on another file system gets a copy.
bool MoveWholeFile(const std::string& partial, const std::string& localPath, CTransferSession& session) {
  errno = 0;
  const bool moved = std::rename(partial.c_str(), localPath.c_str()) == 0 || platform::ReplaceFile(partial, localPath, false);
  if (!moved) session.SetFailure({TransferFailure::Kind::Session, transfer_error::kLocalFileWriteFailed, errno, localPath});
  DropPartial(partial);
  return moved;
}

}  // namespace

bool PatchEngine::IsOversized() const {
  const int64_t expected = session_.GetExpectedSize();
  return expected > 0 && session_.GetTransferred() > expected;
}

std::string PatchEngine::CurrentDownloadName() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return downloadName_;
}

void PatchEngine::NotifyJobChange() {
  // Taking the lock orders this change before a waiter's next look, so no wake-up is lost.
  { std::lock_guard<std::mutex> guard(jobLock_); }
  jobChanged_.notify_all();
}

void PatchEngine::WaitForJobChange(uint32_t milliseconds, const std::function<bool()>& ready) {
  std::unique_lock<std::mutex> guard(jobLock_);
  jobChanged_.wait_for(guard, std::chrono::milliseconds(milliseconds), ready);
}

void PatchEngine::StartDownload(const std::string& name) {
  {
    std::lock_guard<std::mutex> guard(textLock_);
    downloadName_ = name;
  }
  jobResult_ = JobResult::Pending;
  if (!IsCancelled()) downloadIdle_ = false;
  NotifyJobChange();
  if (!downloadThread_.load()) {
    auto* thread = new platform::Thread([this] { DownloadThreadLoop(); });
    thread->SetPriority(platform::ThreadPriority::Highest);
    downloadThread_ = thread;
    thread->Resume();
  }
}

bool PatchEngine::IsDownloadIdle() const {
  platform::Thread* thread = downloadThread_.load();
  // A thread that has ended can never finish a job: the slot counts as idle then.
  return !thread || !thread->IsRunning() || downloadIdle_.load();
}

void PatchEngine::WaitDownloadThread() {
  downloadStop_ = true;
  NotifyJobChange();
  if (platform::Thread* thread = downloadThread_.load()) thread->Wait();
}

bool PatchEngine::DownloadFile(const std::string& name, const std::string& localPath) {
  std::string serverPath = session_.GetServerPath();
  return session_.Download(serverPath.empty() ? name : serverPath + name, localPath);
}

int64_t PatchEngine::RemoteFileSize(const std::string& name, TransferFailure* why) {
  if (why) *why = {};
  if (IsCancelled()) return 0;
  std::string serverPath = session_.GetServerPath();
  std::string path = serverPath.empty() ? name : serverPath + name;
  std::lock_guard<std::mutex> guard(sizeCacheLock_);
  auto cached = remoteSizeCache_.find(path);
  if (cached != remoteSizeCache_.end()) return cached->second;
  // A server that let one question wait out the stall period is not waited for again: the
  // sizes of a pack's archive and file, and again before its download, would each wait as long.
  if (sizeQueryUnanswered_) {
    if (why) *why = sizeQueryUnanswered_;
    return 0;
  }
  // Only a size the server really gave is kept: a question that failed (a refused HEAD, an
  // answer cut short) is asked again next time instead of standing as "empty".
  TransferFailure failure;
  const std::optional<int64_t> size = session_.RemoteSize(path, failure);
  if (!size) {
    if (failure.kind == TransferFailure::Kind::Internet && failure.code == transfer_error::kTimeout)
      sizeQueryUnanswered_ = failure;
    if (why) *why = failure;
    return 0;
  }
  remoteSizeCache_.emplace(path, *size);
  return *size;
}

void PatchEngine::ForgetRemoteSize(const std::string& name) {
  std::string serverPath = session_.GetServerPath();
  std::lock_guard<std::mutex> guard(sizeCacheLock_);
  remoteSizeCache_.erase(serverPath.empty() ? name : serverPath + name);
}

void PatchEngine::SetDownloadAnnouncement(const std::string& announcement, const std::string& md5,
                                          const std::string& sha256) {
  std::lock_guard<std::mutex> guard(textLock_);
  downloadAnnouncement_ = announcement;
  downloadDigest_ = md5;
  downloadSha256_ = sha256;
}

bool PatchEngine::DownloadHasDigest() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return RequiresSignedRelease() ? downloadSha256_.size() == 64 : downloadDigest_ != "No";
}

bool PatchEngine::HasAnnouncedDigest(const std::string& path) {
  std::string md5, sha256;
  {
    std::lock_guard<std::mutex> guard(textLock_);
    md5 = downloadDigest_;
    sha256 = downloadSha256_;
  }
  if (RequiresSignedRelease()) return Sha256Problem(path, sha256) == 0;
  // Letter case aside: an upper-case digest still names the same bytes.
  return md5 != "No" && platform::EqualsIgnoringCase(Md5OfFile(path, [this] { return IsCancelled(); }), md5);
}

// Up to ten attempts, 500 ms apart, each continuing what the ones before it (in this run or an
// earlier one) kept. An HTTP status other than 200 on an archive means the archive is not there:
// the caller goes straight to the plain file. A local file that cannot be written fails every
// attempt alike, so it is not tried again. `resumed` tells whether the file that arrived was
// continued from kept bytes.
bool PatchEngine::RunDownloadAttempts(const std::string& remoteName, const std::string& localPath, bool archive,
                                      bool& resumed) {
  resumed = false;
  session_.SetExpectedSize(currentDownloadSize_.load());
  const std::string serverPath = session_.GetServerPath();
  PartialNote wanted;
  wanted.remotePath = serverPath.empty() ? remoteName : serverPath + remoteName;
  wanted.total = currentDownloadSize_.load();
  {
    std::lock_guard<std::mutex> guard(textLock_);
    wanted.announcement = downloadAnnouncement_;
  }
  // Text bodies (Update.NFO) are never kept, nor the bytes of a file without a digest: nothing
  // could tell a file spliced from two versions. The file goes straight to Temp then.
  const bool toFile = session_.GetStorageMode() == CTransferSession::kStorageFile;
  const std::optional<std::string> partial =
      toFile && wanted.total > 0 && DownloadHasDigest() ? PartialPath(remoteName) : std::nullopt;
  const std::string target = partial ? *partial : localPath;
  TransferFailure folderFailure;
  if (partial && !EnsureDirectories(*partial, &folderFailure)) {
    if (folderFailure) session_.SetFailure(folderFailure);
    return false;
  }

  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (IsCancelled()) return false;
    const CTransferSession::ResumePoint from = partial ? ResumePointFor(*partial, wanted) : CTransferSession::ResumePoint{};
    int64_t continuedFrom = 0;
    auto bodyStarts = [&](int64_t keptBytes, const std::string& validator) {
      continuedFrom = keptBytes;
      // The note is written before the first byte, so bytes on disk always have theirs.
      if (partial && keptBytes == 0) {
        PartialNote note = wanted;
        note.validator = validator;
        WritePartialNote(*partial, note);
      }
    };
    const std::string serverName = serverPath.empty() ? remoteName : serverPath + remoteName;
    if (session_.Download(serverName, target, from, bodyStarts)) {
      // The session keeps its last failure; an earlier attempt's must not fail the finished file.
      session_.ClearFailure();
      // A cancelled transfer keeps its bytes for the next run.
      if (IsCancelled()) return false;
      resumed = continuedFrom > 0;
      return !partial || MoveWholeFile(*partial, localPath, session_);
    }
    const TransferFailure failure = session_.GetFailure();
    if (archive && failure.kind == TransferFailure::Kind::HttpStatus) return false;
    if (failure.IsLocalFile()) return false;
    // A body longer than announced fails as a wrong size at once; sending it again would not help.
    if (IsOversized()) return false;
    platform::SleepMs(kAttemptPauseMs);
  }
  return false;
}

// Takes out of the archive the one file it was fetched for, to `wantedPath`; other entries are
// nobody's business and stay in it. The archive counts as unpacked only when that file came out.
bool PatchEngine::UnpackArchive(const std::string& archivePath, const std::string& wantedPath) {
  std::unique_ptr<ZipArchive> archive = ZipArchive::Open(archivePath);
  if (!archive) return false;
  archive->SetCancelTest([this] { return IsCancelled(); });  // a large entry stops within a piece
  const std::string wanted = platform::ResolvePath(wantedPath);
  bool ok = archive->SetBaseDir(TempDir()) == kZipSuccess;
  ZipEntryInfo summary;
  if (ok) ok = archive->GetEntry(-1, summary) == kZipSuccess;
  const int32_t count = ok ? summary.index : 0;
  bool extracted = false;
  for (int32_t index = 0; index < count && !extracted && !IsCancelled(); ++index) {
    ZipEntryInfo entry;
    if (archive->GetEntry(index, entry) != kZipSuccess) continue;
    // The entry's place in Temp, found as every server name is (letter case aside).
    const std::optional<std::string> place = TempPath(entry.name);
    if (!place || !platform::EqualsIgnoringCase(platform::ResolvePath(*place), wanted) ||
        (entry.attributes & platform::kAttributeDirectory) != 0)
      continue;
    extracted = archive->ExtractEntry(index, wanted) == kZipSuccess;
    if (!extracted) break;
  }
  archive->Close();
  return extracted && !IsCancelled() && platform::FileSizeOf(wanted).has_value();
}

bool PatchEngine::EnsureFoldersFor(const std::string& filePath) {
  TransferFailure why;
  if (EnsureDirectories(filePath, &why)) return true;
  if (why) session_.SetFailure(why);
  return false;
}

// The job's file fetched into the temporary folder, itself or unpacked from its archive; the
// archive that cannot be used falls back to the plain file.
bool PatchEngine::FetchJobFile(const std::string& name, const std::string& transferName, bool zipJob, bool& resumed) {
  const std::optional<std::string> filePath = TempPath(name);
  const std::optional<std::string> transferPath = TempPath(transferName);
  if (!filePath || !transferPath) return false;
  const std::string downloadingText = LoadCatalogueString(kMessageDownloading);
  DeletePath(*filePath);
  DeletePath(*transferPath);
  if (!EnsureFoldersFor(*transferPath)) return false;
  SetStatusText(name + " " + downloadingText);
  if (IsCancelled()) return false;

  bool downloaded = RunDownloadAttempts(transferName, *transferPath, zipJob, resumed);
  if (zipJob && downloaded) {
    stallClockPaused_ = true;
    if (beforeUnpackForTesting_) beforeUnpackForTesting_();
    downloaded = UnpackArchive(*transferPath, *filePath);
    stallClockPaused_ = false;
    if (*transferPath != *filePath) DeletePath(*transferPath);
  }
  if (zipJob && !downloaded && !resumed) {
    // The archive is missing or cannot be unpacked: fetch the plain file instead.
    if (IsCancelled()) return false;
    const int64_t archiveSize = currentDownloadSize_.load();
    DeletePath(*transferPath);
    DeletePath(*filePath);
    if (!EnsureFoldersFor(*filePath)) return false;
    SetStatusText(name + " " + downloadingText);
    session_.ClearFailure();  // the archive's failure is not the file's
    if (!PrepareDownload(name, true, true)) return false;
    if (IsCancelled()) return false;
    int64_t lower = 0, upper = 0;
    GetTotalRange(lower, upper);
    SetTotalRange(upper + currentDownloadSize_.load() - archiveSize, lower);
    downloaded = RunDownloadAttempts(name, *filePath, false, resumed);
  }
  return downloaded;
}

// One job: the file complete in the temporary folder. False when it is not there; a failure
// that the player must see has been reported.
bool PatchEngine::RunDownloadJob(const std::string& name) {
  const std::string zipName = ZipNameFor(name);
  // A name without "." has no archive name: it is fetched itself, never as the folder "".
  const bool zipJob = zipMode_.load() && !name.empty() && !zipName.empty();
  const std::string transferName = zipJob ? zipName : name;
  bool resumed = false;
  bool downloaded = FetchJobFile(name, transferName, zipJob, resumed);
  if (!resumed || IsCancelled()) return downloaded;

  // Kept bytes are trusted no further than the finished file: an archive that does not unpack or
  // a file that misses its announced digest is fetched once more from its start.
  const std::optional<std::string> filePath = TempPath(name);
  const bool whole = downloaded && filePath && HasAnnouncedDigest(*filePath);
  if (whole || IsCancelled()) return downloaded;
  session_.ClearFailure();
  return FetchJobFile(name, transferName, zipJob, resumed);
}

void PatchEngine::DownloadThreadLoop() {
  const std::string downloadedText = LoadCatalogueString(kMessageDownloaded);
  auto endThread = [this] {
    if (jobResult_.load() == JobResult::Pending) jobResult_ = JobResult::Failed;
    downloadIdle_ = true;
    NotifyJobChange();
  };
  auto jobDone = [this] {
    downloadIdle_ = true;
    NotifyJobChange();
  };

  while (true) {
    if (IsCancelled() || downloadStop_.load()) return endThread();
    if (downloadIdle_.load()) {
      // The long wait is only a safety net: a job, a stop and a cancel all wake it.
      WaitForJobChange(kIdleWaitMs, [this] { return !downloadIdle_.load() || downloadStop_.load() || IsCancelled(); });
      continue;
    }
    if (!IsCancelled()) downloadIdle_ = false;

    const std::string name = CurrentDownloadName();
    if (!RunDownloadJob(name)) {
      jobResult_ = JobResult::Failed;
      if (IsOversized() && !IsCancelled()) {
        jobDone();  // the monitor sees the wrong size and stops the update
        continue;
      }
      // Every failure the session holds, local ones included, reaches the player.
      stallClockPaused_ = true;
      if (!IsCancelled()) ReportError();
      stallClockPaused_ = false;
      return endThread();
    }
    if (IsCancelled()) return endThread();
    SetStatusText(name + " " + downloadedText);
    jobResult_ = JobResult::Done;
    jobDone();
  }
}

void PatchEngine::MonitorDownload(const std::string& name, int64_t baseBytes) {
  int64_t size = currentDownloadSize_.load();
  if (size <= 0) {
    ReportError();
    SetStatusMessage(kMessageWrongSize);
    return;
  }
  SetFileRange(size, 0);
  if (baseBytes == -1) {
    SetTotalRange(size, 0);
    baseBytes = 0;
  }
  const std::string plainText = name + " " + LoadCatalogueString(kMessageDownloading);
  const bool showRate = ReadSetting(kSettingRate) == "1";
  CTransferStats stats;
  stats.SetTotal(static_cast<uint64_t>(size));
  stats.SetFileName(name);

  while (!IsDownloadIdle()) {
    // Progress is shown every 100 ms, but the end of the job is seen at once.
    WaitForJobChange(kMonitorPeriodMs, [this] { return IsDownloadIdle() || IsCancelled(); });
    if (IsDownloadIdle()) break;
    if (IsCancelled()) return;
    if (stallClockPaused_.load()) {
      // No byte is expected from the network now: the stall clock starts anew afterwards.
      stats.Reset();
      stats.SetTotal(static_cast<uint64_t>(size));
      stats.SetFileName(name);
      continue;
    }
    // A fallback from the archive to the plain file changes the size the job must deliver.
    if (const int64_t expected = currentDownloadSize_.load(); expected != size && expected > 0) {
      size = expected;
      SetFileRange(size, 0);
      stats.SetTotal(static_cast<uint64_t>(size));
    }
    int64_t bytes = session_.GetTransferred();
    stats.SetPosition(static_cast<uint64_t>(bytes < 0 ? 0 : bytes));
    if (!stats.IsAlive()) {
      ReportError(TransferFailure::Internet(transfer_error::kTimeout, session_.ServerAddress()));
      return;
    }
    SetFilePos(bytes);
    SetTotalPos(baseBytes + bytes);
    std::string rateText = showRate ? stats.GetStatusText() : std::string();
    SetStatusText(rateText.empty() ? plainText : rateText);
  }

  const int64_t bytes = session_.GetTransferred();
  size = currentDownloadSize_.load();
  if (bytes == size && jobResult_.load() == JobResult::Done) {
    SetFileRange(size, 0);
    SetFilePos(bytes);
    SetTotalPos(baseBytes + bytes);
    if (!IsCancelled()) SetStatusText(name + " " + LoadCatalogueString(kMessageDownloaded));
    return;
  }
  if (IsCancelled()) return;
  SetCancel(true);
  const std::string failed = name + " " + LoadCatalogueString(kMessageUpdateFailed);
  SetStatusText(failed);
  platform::ShowMessageBox(failed + "\n" + LoadCatalogueString(kMessageWrongSize),
                           platform::kBoxOk | platform::kBoxIconExclamation);
}
