// The download thread and its single job slot. The sequence thread submits one file at a time
// and watches it with the monitor; the download thread fetches it into the temporary folder,
// retries, unpacks archives and falls back to the plain file when an archive cannot be unpacked.
//
// Hand-over: StartDownload writes the name before it clears download idle; the download thread
// sets download idle only after it has finished the file; the monitor reads the byte counter
// only after it has seen download idle again.

#include <cinttypes>
#include <cstdio>

#include "app/Settings.h"
#include "download/TransferError.h"
#include "download/TransferStats.h"
#include "download/ZipArchive.h"
#include "patch/PatchEngine.h"
#include "platform/Clock.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr int kAttempts = 10;
constexpr uint32_t kAttemptPauseMs = 500;
constexpr uint32_t kMonitorPeriodMs = 100;

thread_local int lastSystemError = 0;

bool IsHttpStatus(int code) { return code >= 100 && code <= 599; }

}  // namespace

bool PatchEngine::IsOversized() const {
  const int64_t expected = session_.GetExpectedSize();
  return expected > 0 && session_.GetTransferred() > expected;
}

void PatchEngine::SetLastSystemError(int code) { lastSystemError = code; }
int PatchEngine::LastSystemError() { return lastSystemError; }

std::string PatchEngine::CurrentDownloadName() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return downloadName_;
}

void PatchEngine::StartDownload(const std::string& name) {
  {
    std::lock_guard<std::mutex> guard(textLock_);
    downloadName_ = name;
  }
  if (!IsCancelled()) downloadIdle_ = false;
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
  if (platform::Thread* thread = downloadThread_.load()) thread->Wait();
}

bool PatchEngine::DownloadFile(const std::string& name, const std::string& localPath) {
  std::string serverPath = session_.GetServerPath();
  return session_.Download(serverPath.empty() ? name : serverPath + name, localPath);
}

int64_t PatchEngine::RemoteFileSize(const std::string& name) {
  if (IsCancelled()) return 0;
  std::string serverPath = session_.GetServerPath();
  std::string path = serverPath.empty() ? name : serverPath + name;
  std::lock_guard<std::mutex> guard(sizeCacheLock_);
  auto cached = remoteSizeCache_.find(path);
  if (cached == remoteSizeCache_.end())
    cached = remoteSizeCache_.emplace(path, session_.GetTotalSize({path})).first;  // 0 is cached too
  return cached->second < 0 ? 0 : cached->second;
}

void PatchEngine::ForgetRemoteSize(const std::string& name) {
  std::string serverPath = session_.GetServerPath();
  std::lock_guard<std::mutex> guard(sizeCacheLock_);
  remoteSizeCache_.erase(serverPath.empty() ? name : serverPath + name);
}

// Up to ten attempts, 500 ms apart. An HTTP status other than 200 on an archive means the
// archive is not there: the caller goes straight to the plain file.
bool PatchEngine::RunDownloadAttempts(const std::string& remoteName, const std::string& localPath,
                                      bool stopOnHttpStatus) {
  session_.SetExpectedSize(currentDownloadSize_.load());
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (IsCancelled()) return false;
    if (DownloadFile(remoteName, localPath)) {
      // The session keeps its last failure; an earlier attempt's must not fail the finished file.
      session_.SetErrorCode(0);
      return true;
    }
    if (stopOnHttpStatus && IsHttpStatus(session_.GetErrorCode())) return false;
    // A body longer than announced fails as a wrong size at once; sending it again would not help.
    if (IsOversized()) return false;
    platform::SleepMs(kAttemptPauseMs);
  }
  return false;
}

bool PatchEngine::UnpackArchive(const std::string& archivePath) {
  std::unique_ptr<ZipArchive> archive = ZipArchive::Open(archivePath);
  if (!archive) return false;
  bool ok = archive->SetBaseDir(TempDir()) == kZipSuccess;
  ZipEntryInfo summary;
  if (ok) ok = archive->GetEntry(-1, summary) == kZipSuccess;
  const int32_t count = ok ? summary.index : 0;
  for (int32_t index = 0; index < count && !IsCancelled(); ++index) {
    ZipEntryInfo entry;
    if (archive->GetEntry(index, entry) != kZipSuccess) {
      ok = false;
      continue;
    }
    if (archive->ExtractEntry(index, entry.name) != kZipSuccess) ok = false;
  }
  archive->Close();
  return ok;
}

void PatchEngine::DownloadThreadLoop() {
  const std::string downloadingText = LoadCatalogueString(kMessageDownloading);
  const std::string downloadedText = LoadCatalogueString(kMessageDownloaded);
  auto endThread = [this] { downloadIdle_ = true; };

  while (true) {
    if (IsCancelled() || downloadStop_.load()) return endThread();
    platform::SleepMs(1);
    if (downloadIdle_.load()) {
      platform::SleepMs(1);
      if (IsCancelled()) return endThread();
      continue;
    }
    if (!IsCancelled()) downloadIdle_ = false;

    const std::string name = CurrentDownloadName();
    const bool zipJob = zipMode_.load() && !name.empty();
    const std::string transferName = zipJob ? ZipNameFor(name) : name;
    const std::string tempDir = TempDir();

    DeletePath(platform::JoinPath(tempDir, name));
    std::string localPath = platform::JoinPath(tempDir, transferName);
    DeletePath(localPath);
    EnsureDirectories(localPath);
    SetStatusText(name + " " + downloadingText);
    if (IsCancelled()) return endThread();

    bool downloaded = RunDownloadAttempts(transferName, localPath, zipJob);
    if (zipJob && (!downloaded || !UnpackArchive(localPath))) {
      // The archive is missing or cannot be unpacked: fetch the plain file instead.
      if (IsCancelled()) return endThread();
      const int64_t archiveSize = currentDownloadSize_.load();
      DeletePath(localPath);
      localPath = platform::JoinPath(tempDir, name);
      DeletePath(localPath);
      EnsureDirectories(localPath);
      SetStatusText(name + " " + downloadingText);
      session_.SetErrorCode(0);  // the archive's failure is not the file's
      if (!PrepareDownload(name, true, true)) return endThread();
      if (IsCancelled()) return endThread();
      int64_t lower = 0, upper = 0;
      GetTotalRange(lower, upper);
      SetTotalRange(upper + currentDownloadSize_.load() - archiveSize, lower);
      downloaded = RunDownloadAttempts(name, localPath, false);
    }
    if (!downloaded && IsOversized()) {
      downloadIdle_ = true;  // the monitor sees the wrong size and stops the update
      continue;
    }
    if (!downloaded) {
      if (!IsCancelled()) ReportError();
      return endThread();
    }
    if (IsCancelled()) return endThread();
    SetStatusText(name + " " + downloadedText);
    downloadIdle_ = true;
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
    platform::SleepMs(kMonitorPeriodMs);
    if (IsDownloadIdle()) break;
    if (IsCancelled()) return;
    // A fallback from the archive to the plain file changes the size the job must deliver.
    if (const int64_t expected = currentDownloadSize_.load(); expected != size && expected > 0) {
      size = expected;
      SetFileRange(size, 0);
      stats.SetTotal(static_cast<uint64_t>(size));
    }
    int64_t bytes = session_.GetTransferred();
    stats.SetPosition(static_cast<uint64_t>(bytes < 0 ? 0 : bytes));
    if (!stats.IsAlive()) {
      SetLastSystemError(transfer_error::kTimeout);
      ReportError();
      return;
    }
    SetFilePos(bytes);
    SetTotalPos(baseBytes + bytes);
    std::string rateText = showRate ? stats.GetStatusText() : std::string();
    SetStatusText(rateText.empty() ? plainText : rateText);
  }

  const int64_t bytes = session_.GetTransferred();
  size = currentDownloadSize_.load();
  if (bytes == size) {
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
