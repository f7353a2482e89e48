#include "patch/PatchEngine.h"

#include <algorithm>

#include "download/PartialDownloads.h"
#include "patch/DigestCache.h"
#include "patch/ReleaseTrust.h"
#include "platform/Clock.h"
#include "platform/DebugOutput.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

// Beside the launcher: two launchers that cannot see each other's single-instance mutex (other
// sessions, other runtime folders) still never update one installation at once.
constexpr const char* kInstallationLockFile = "SolaneLauncher.lock";

// Progress bars count kibibytes.
int ToKiB(int64_t bytes) { return static_cast<int>(std::max<int64_t>(bytes, 0) / 1024); }

}  // namespace

std::atomic<PatchEngine*> PatchEngine::instance_{nullptr};

PatchEngine& PatchEngine::Instance() {
  static std::mutex creation;
  PatchEngine* engine = instance_.load();
  if (engine) return *engine;
  std::lock_guard<std::mutex> guard(creation);
  engine = instance_.load();
  if (!engine) {
    engine = new PatchEngine();
    instance_ = engine;
  }
  return *engine;
}

void PatchEngine::Destroy() { delete instance_.exchange(nullptr); }

// The sleeps of the engine's loops are short only with a fine timer; the engine holds it for
// its whole life.
PatchEngine::PatchEngine() { platform::BeginTimerResolution(); }

PatchEngine::~PatchEngine() {
  // Workers hold references to the engine: they end before it goes.
  downloadStop_ = true;
  probeStop_ = true;
  cancel_ = 1;
  session_.SetCancel(true);
  NotifyJobChange();
  for (std::atomic<platform::Thread*>* slot : {&sequenceThread_, &downloadThread_, &probeThread_}) {
    if (platform::Thread* thread = slot->exchange(nullptr)) {
      thread->Wait();
      delete thread;
    }
  }
  platform::EndTimerResolution();
}

// --- Start-up state -------------------------------------------------------------------------

std::string PatchEngine::PendingLauncherFile() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return pendingLauncherFile_;
}

void PatchEngine::SetLauncherUpdatePending(const std::string& fileName) {
  {
    std::lock_guard<std::mutex> guard(textLock_);
    pendingLauncherFile_ = fileName;
  }
  launcherUpdatePending_ = 1;
}

// --- Launcher paths --------------------------------------------------------------------------

void PatchEngine::ComputePaths() {
  std::call_once(pathsOnce_, [this] {
    if (launcherExePath_.empty()) launcherExePath_ = platform::ExecutablePath();
    launcherDir_ = platform::ParentOf(launcherExePath_);
    launcherExeName_ = platform::FileNameOf(launcherExePath_);
    tempDir_ = platform::JoinPath(launcherDir_, "Temp");
  });
}

std::string PatchEngine::LauncherDir() {
  ComputePaths();
  return launcherDir_;
}

std::string PatchEngine::InstallationDir() {
  return replacedInstallationDir_.empty() ? LauncherDir() : replacedInstallationDir_;
}

std::string PatchEngine::LauncherExeName() {
  ComputePaths();
  return launcherExeName_;
}

std::string PatchEngine::LauncherExePath() {
  ComputePaths();
  return launcherExePath_;
}

std::string PatchEngine::TempDir() {
  ComputePaths();
  return tempDir_;
}

void PatchEngine::SetLauncherExePathForTesting(const std::string& path) {
  launcherExePath_ = platform::ToNativePath(path);
  ComputePaths();
}

// --- Digests of installed files ---------------------------------------------------------------

DigestCache& PatchEngine::Digests() {
  std::lock_guard<std::mutex> guard(digestCacheLock_);
  if (!digestCache_) {
    const int64_t settle = digestSettleNs_.load();
    digestCache_ = std::make_unique<DigestCache>(LauncherDir(), settle >= 0 ? settle : DigestCache::kSettleNs);
    digestCache_->Load();
  }
  return *digestCache_;
}

std::string PatchEngine::InstalledDigest(const std::string& path) {
  return Digests().DigestOf(path, !VerifiesDigests(), [this] { return IsCancelled(); });
}

std::optional<std::string> PatchEngine::KeptInstalledDigest(const std::string& path) {
  if (VerifiesDigests()) return std::nullopt;
  return Digests().KeptDigestOf(path);
}

void PatchEngine::SaveDigestCache() {
  std::lock_guard<std::mutex> guard(digestCacheLock_);
  // A lost cache costs one slow check next time, nothing more: a failed write is not reported.
  if (digestCache_) digestCache_->Save();
}

// --- The window ------------------------------------------------------------------------------

void PatchEngine::AttachWindow(LauncherWindow* window) { window_ = window; }

void PatchEngine::SetStatusText(const std::string& text) {
  LauncherWindow* window = window_.load();
  if (!window || InMemoryStorageMode()) return;
  const std::string shown = IsCancelled() ? LoadCatalogueString(kMessageFinishing) : text;
  // Scripts that drive the window read its progress here rather than from its pixels.
  platform::DebugOutput("status: " + shown + "\n");
  window->SetStatusLine(shown);
}

void PatchEngine::AnnounceLine(const std::string& text) {
  LauncherWindow* window = window_.load();
  if (window && !IsCancelled()) window->AnnounceLine(text);
}

void PatchEngine::SetStatusMessage(int messageId) {
  if (InMemoryStorageMode()) return;
  if (IsCancelled()) messageId = kMessageFinishing;
  if (LauncherWindow* window = window_.load()) {
    platform::DebugOutput("status: " + LoadCatalogueString(messageId) + "\n");
    window->SetStatusLine(LoadCatalogueString(messageId));
  }
}

void PatchEngine::SetFileRange(int64_t upperBytes, int64_t lowerBytes) {
  if (LauncherWindow* window = window_.load()) window->SetFileBarRange(ToKiB(lowerBytes), ToKiB(upperBytes));
}

void PatchEngine::SetFilePos(int64_t bytes) {
  if (LauncherWindow* window = window_.load()) window->SetFileBarPos(ToKiB(bytes));
}

void PatchEngine::SetTotalRange(int64_t upperBytes, int64_t lowerBytes) {
  if (LauncherWindow* window = window_.load()) window->SetTotalBarRange(ToKiB(lowerBytes), ToKiB(upperBytes));
}

void PatchEngine::SetTotalPos(int64_t bytes) {
  if (LauncherWindow* window = window_.load()) window->SetTotalBarPos(ToKiB(bytes));
}

void PatchEngine::GetTotalRange(int64_t& lowerBytes, int64_t& upperBytes) const {
  lowerBytes = upperBytes = 0;
  if (LauncherWindow* window = window_.load()) {
    int lower = 0, upper = 0;
    window->GetTotalBarRange(lower, upper);
    lowerBytes = int64_t{lower} * 1024;
    upperBytes = int64_t{upper} * 1024;
  }
}

int PatchEngine::ShowMessage(int messageId, unsigned boxType) {
  constexpr unsigned kIconMask = 0xf0;
  if ((boxType & kIconMask) == 0) boxType |= platform::kBoxIconExclamation;
  return platform::ShowMessageBox(LoadCatalogueString(messageId), boxType);
}

// --- Control -----------------------------------------------------------------------------------

void PatchEngine::SetCancel(bool flag, bool quiet, CancelRequester requester) {
  // One exchange decides, so two threads can never both act on the same change.
  const int mine = 1 + static_cast<int>(requester);
  int expected = flag ? kNotCancelled : mine;
  bool changed = cancel_.compare_exchange_strong(expected, flag ? mine : kNotCancelled);
  // The engine may withdraw any request; the player only their own.
  if (!changed && !flag && requester == CancelRequester::Engine && expected != kNotCancelled)
    changed = cancel_.compare_exchange_strong(expected, kNotCancelled);
  if (!changed) return;
  OnCancelChanging(flag);
  downloadIdle_ = flag;
  NotifyJobChange();
  if (!quiet) {
    finished_ = flag;
    SetStatusMessage(kMessageFinishing);
  }
  platform::SleepMs(100);
}

bool PatchEngine::IsIdle() const {
  auto ended = [](const std::atomic<platform::Thread*>& slot) {
    platform::Thread* thread = slot.load();
    return !thread || !thread->IsRunning();
  };
  return ended(sequenceThread_) && ended(probeThread_) && IsDownloadIdle() && copyIdle_.load() && finished_.load();
}

void PatchEngine::WaitProbeThread() {
  probeStop_ = true;
  if (platform::Thread* thread = probeThread_.load()) thread->Wait();
}

// --- The installation ---------------------------------------------------------------------------

std::optional<std::string> PatchEngine::PathFromServerName(const std::string& base, std::string_view serverName,
                                                            platform::LookupMemo* memo) {
  if (!IsSafeInstallName(serverName)) return std::nullopt;
  std::string path = platform::ResolvePath(platform::JoinPath(base, serverName), memo);
  // The temporary folder may not exist yet; its own place inside the installation is checked.
  const std::string existingBase = platform::IsFolder(base, memo) ? base : platform::ParentOf(base);
  if (!platform::StaysInside(existingBase, path, memo)) return std::nullopt;
  return path;
}

std::optional<std::string> PatchEngine::InstallPath(std::string_view serverName, platform::LookupMemo* memo) {
  return PathFromServerName(LauncherDir(), serverName, memo);
}

std::optional<std::string> PatchEngine::TempPath(std::string_view serverName, platform::LookupMemo* memo) {
  if (!platform::StaysInside(LauncherDir(), TempDir(), memo)) return std::nullopt;
  return PathFromServerName(TempDir(), serverName, memo);
}

std::string PatchEngine::PartialDir() { return platform::JoinPath(LauncherDir(), kPartialFolder); }

std::optional<std::string> PatchEngine::PartialPath(std::string_view serverName) {
  if (!platform::StaysInside(LauncherDir(), PartialDir())) return std::nullopt;
  return PathFromServerName(PartialDir(), serverName);
}

bool PatchEngine::AcquireInstallation(TransferFailure& why) {
  why = {};
  if (holdsInstallation_.load()) return true;
  const std::string path = platform::JoinPath(LauncherDir(), kInstallationLockFile);
  auto lock = std::make_unique<platform::FileLock>(path);
  // A lock that cannot be taken (another account's file, a FIFO in its place) may well be another
  // launcher's: only a free one lets this launcher touch the folder.
  if (lock->status() == platform::FileLock::Status::Busy) return false;
  if (lock->status() == platform::FileLock::Status::Failed) {
    why = TransferFailure::LocalFile(lock->error(), path);
    return false;
  }
  installationLock_ = std::move(lock);
  holdsInstallation_ = true;
  return true;
}

bool PatchEngine::HoldsInstallation() const { return holdsInstallation_.load(); }

bool PatchEngine::IsLaunchersOwnRecord(const std::string& path) {
  const std::string resolved = platform::ResolvePath(path);
  return resolved == platform::ResolvePath(platform::JoinPath(LauncherDir(), kInstallationLockFile)) ||
         resolved == platform::ResolvePath(platform::JoinPath(InstallationDir(), ReleaseTrust::kFileName));
}

void PatchEngine::RecordFailure(const std::string& reason) {
  std::lock_guard<std::mutex> guard(failuresLock_);
  failures_.push_back(reason);
}

std::vector<std::string> PatchEngine::RecordedFailures() const {
  std::lock_guard<std::mutex> guard(failuresLock_);
  return failures_;
}

// --- Small shared texts --------------------------------------------------------------------------

std::string PatchEngine::DirectXWarning() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return directXWarning_;
}

void PatchEngine::SetDirectXResult(bool ok, const std::string& warning) {
  std::lock_guard<std::mutex> guard(textLock_);
  directXWarning_ = warning;
  directXOk_ = ok;
}

std::string PatchEngine::ProfileDescription() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return profileDescription_;
}

void PatchEngine::SetProfileDescription(const std::string& description) {
  std::lock_guard<std::mutex> guard(textLock_);
  profileDescription_ = description;
}

std::string PatchEngine::LoginServer() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return loginServer_;
}

void PatchEngine::SetLoginServer(const std::string& address) {
  std::lock_guard<std::mutex> guard(textLock_);
  loginServer_ = address;
}

std::string PatchEngine::WebArgument() const {
  std::lock_guard<std::mutex> guard(textLock_);
  return webArgument_;
}

// --- The session follows the engine ----------------------------------------------------------------

bool PatchEngine::InMemoryStorageMode() const {
  return session_.GetStorageMode() == CTransferSession::kStorageMemory;
}

void PatchEngine::OnCancelChanging(bool flag) { session_.SetCancel(flag); }

void PatchEngine::DisconnectSession() { session_.Disconnect(); }
