#pragma once
// The process-wide engine: every piece of state that outlives one function, the worker threads
// and the flags through which the window and the threads hand work to each other.
//
// Flags shared between threads are atomics; the hand-over order is the one the sequence and the
// download thread rely on (the download name is written before download idle is cleared, the
// byte counter is read only after download idle is seen again).

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"
#include "app/RegistrySettings.h"
#include "app/StartupEnd.h"
#include "download/TransferSession.h"
#include "patch/UpdateInfo.h"
#include "patch/LauncherWindow.h"
#include "patch/ReleaseSignature.h"
#include "platform/FileLock.h"
#include "platform/NamedMutex.h"
#include "platform/Thread.h"
#include "servers/LoginServerEntry.h"

class CPing;
class DigestCache;
namespace platform {
struct LookupMemo;
}

class PatchEngine {
 public:
  static PatchEngine& Instance();
  // The engine when it exists, else null; never creates one, so a signal handler may ask.
  static PatchEngine* Existing() { return instance_.load(); }
  // Deletes the engine (the application object does this at exit). Tests use it for a fresh one.
  static void Destroy();

  PatchEngine(const PatchEngine&) = delete;
  PatchEngine& operator=(const PatchEngine&) = delete;

  // --- Start-up ---------------------------------------------------------------------------
  // The run step: OpenWindow to go on, else why this process ends before any window.
  StartupEnd Run(const std::string& commandLine);
  bool IsSingleInstance();
  const CCommandLine& CommandLine() const { return commandLine_; }
  void ParseCommandLineForTesting(const std::string& commandLine) { commandLine_.Parse(commandLine); }
  std::string WebArgument() const;
  bool IsClientAlreadyRunning() const { return clientRunning_ != 0; }
  void SetClientAlreadyRunning(bool running) { clientRunning_ = running ? 1 : 0; }
  bool IsLauncherUpdatePending() const { return launcherUpdatePending_ != 0; }
  std::string PendingLauncherFile() const;
  void SetLauncherUpdatePending(const std::string& fileName);

  // --- Regional profile -------------------------------------------------------------------
  int GetLocale() const { return locale_; }
  int GetPublisher() const { return publisher_; }
  void SetLocale(int locale) { locale_ = locale; }
  void ResolveLocale();
  void ResolvePublisher();
  std::string PatchHost() const;
  std::string PatchPath() const;

  // --- Configuration file and registry ----------------------------------------------------
  std::string ConfigFilePath();
  // Reads SolaneLauncher.CFG once at start-up. The text that stops the run when the file exists
  // but cannot be read; otherwise none, and what the file gets wrong (or that it is missing) is
  // kept as warnings that the window shows when the update starts.
  std::optional<std::string> CheckConfiguration();
  std::vector<std::string> StartupWarnings() const;
  std::string ReadSetting(int item);
  void WriteSetting(int item, const std::string& value);
  std::string ServerProfileValue(int index, const std::string& run);
  // The update-information reads behind registry locations; none until a file was read.
  void SetUpdateInfoReader(const UpdateInfoReader* reader) { updateInfoReader_ = reader; }
  std::string RegistryRead(const std::string& valueName, const std::string& section,
                           const std::string& rootKey, const std::string& subKey) const;
  bool RegistryWrite(const std::string& valueName, const std::string& section, const std::string& rootKey,
                     const std::string& subKey, const std::string& data, uint32_t type);
  bool RegistryDelete(const std::string& valueName, const std::string& section, const std::string& rootKey,
                      const std::string& subKey);

  // --- Client launch ---------------------------------------------------------------------
  bool IsClientRunning();
  bool LaunchClient();
  bool ShellLaunch(const std::string& directory, const std::string& file, const std::string& parameters);
  bool OpenBrowser(const std::string& address);
  std::string LoginServer() const;
  void SetLoginServer(const std::string& address);

  // --- Self-replacement -------------------------------------------------------------------
  // A command line with "/TO:" and "/EXEC:" asks this launcher to replace another one; such a
  // run never goes on as a launcher of its own.
  static bool IsReplacementRun(const std::string& commandLine);
  // A copy that may replace the installed launcher serves that launcher's installation.
  void AdoptReplacedInstallation(const std::string& commandLine);
  // True when the replaced launcher has been started; false, with a message, when it could not
  // be replaced or started.
  bool ReplaceSelf(const std::string& commandLine);
  // True when the downloaded launcher was started.
  bool RelaunchFromTemp();
  // Entry options ("--console") that the launchers started along the hand-over carry as well.
  void SetHandOverOptions(const std::string& options) { handOverOptions_ = options; }

  // --- Launcher paths ---------------------------------------------------------------------
  std::string LauncherDir();
  // The folder of the installation that this launcher serves, where its configuration file and
  // its record of trusted releases are: the launcher's own folder, or for a copy in Temp that
  // replaces the installed launcher, that launcher's folder. Never the temporary folder.
  std::string InstallationDir();
  std::string LauncherExeName();
  std::string LauncherExePath();
  std::string TempDir();
  // A file name from the server as a path inside the installation (or inside its temporary
  // folder), existing names found regardless of letter case. None when the name is unsafe: empty,
  // absolute, climbing out, or leading through a symbolic link to somewhere else. Every step
  // that turns a server's name into a path uses these; a pass that writes nothing may share what
  // they learn of the folders between them (platform::LookupMemo).
  std::optional<std::string> InstallPath(std::string_view serverName, platform::LookupMemo* memo = nullptr);
  std::optional<std::string> TempPath(std::string_view serverName, platform::LookupMemo* memo = nullptr);
  // The folder beside Temp where the bytes of unfinished downloads wait for a later attempt
  // (download/PartialDownloads.h); it outlives the run and goes once an update completes.
  std::string PartialDir();
  std::optional<std::string> PartialPath(std::string_view serverName);
  // File operations. Paths are native or "\"-separated; existing names are found regardless of case.
  bool PathExists(const std::string& path);
  int64_t FileSize(const std::string& path);  // -1 when it cannot be read
  // False when a folder cannot be made; `why` then names it and the system's reason.
  bool EnsureDirectories(const std::string& filePath, TransferFailure* why = nullptr);
  bool DeletePath(const std::string& path);
  bool DeleteFolder(const std::string& path);
  bool CopyIntoPlace(const std::string& source, const std::string& destination);
  bool HasDiskSpace(const std::string& path, int64_t bytesNeeded, bool showMessage);

  // Tests and tools run the engine on a scratch installation: the executable path it reports.
  void SetLauncherExePathForTesting(const std::string& path);
  // Tests make unpacking take as long as a big archive on a slow disk: called before each unpack.
  void SetBeforeUnpackForTesting(std::function<void()> hook) { beforeUnpackForTesting_ = std::move(hook); }
  // Tests of single downloads check them as a signed release would, without a release.
  void SetSigningRequiredForTesting(bool required) { signingRequired_ = required; }

  // --- The player's bandwidth limit -------------------------------------------------------
  // "--limit-rate=" in kilobytes (1,000 bytes) per second; 0 = none.
  void SetPlayerRateLimit(uint32_t kbps) { playerRateLimitKBps_ = kbps; }
  // The session's limit in bytes per millisecond: the lowest of Update.NFO's BandWidth, the
  // configuration's MaxDownloadKBps and the command line's; -1 when none of them limits.
  double DownloadRateLimit();

  // --- Digests of installed files ----------------------------------------------------------
  // The repair run ("--verify"): every installed file is digested, no kept digest is used.
  void SetVerifyDigests(bool verify) { verifyDigests_ = verify; }
  bool VerifiesDigests() const { return verifyDigests_.load(); }
  // Threads that digest packs side by side; 0 (the default) = one per processor.
  void SetDigestWorkers(unsigned workers) { digestWorkers_ = workers; }
  // The MD5 text of an installed file, empty when it cannot be read. The installation's digest
  // cache answers for a file that has not changed since it was digested (unless verifying).
  std::string InstalledDigest(const std::string& path);
  // The digest kept from an earlier run for an unchanged installed file, found without reading
  // it; none when it must be read (always in a repair run).
  std::optional<std::string> KeptInstalledDigest(const std::string& path);
  // Tests digest files just written: how long a file must stand still before its digest is kept.
  void SetDigestSettleForTesting(int64_t nanoseconds) { digestSettleNs_ = nanoseconds; }

  // --- The window -------------------------------------------------------------------------
  void AttachWindow(LauncherWindow* window);
  LauncherWindow* Window() const { return window_.load(); }
  void SetStatusText(const std::string& text);
  void SetStatusMessage(int messageId);
  // A line the window shows once (LauncherWindow::AnnounceLine); nothing while cancelled.
  void AnnounceLine(const std::string& text);
  void SetFileRange(int64_t upperBytes, int64_t lowerBytes);
  void SetFilePos(int64_t bytes);
  void SetTotalRange(int64_t upperBytes, int64_t lowerBytes);
  void SetTotalPos(int64_t bytes);
  void GetTotalRange(int64_t& lowerBytes, int64_t& upperBytes) const;
  int ShowMessage(int messageId, unsigned boxType);

  // --- Control ----------------------------------------------------------------------------
  // Who asks for a cancel or its withdrawal. The player's answer to "finish now?" may only
  // withdraw the player's own request, never one that an error set while the question was open.
  enum class CancelRequester { Engine, Player };
  void SetCancel(bool flag, bool quiet = false, CancelRequester requester = CancelRequester::Engine);
  bool IsCancelled() const { return cancel_.load() != kNotCancelled; }
  bool IsFinished() const { return finished_.load(); }
  void SetFinished(bool flag) { finished_ = flag; }
  bool IsIdle() const;
  void WaitProbeThread();
  bool IsProbeStopRequested() const { return probeStop_.load(); }
  bool IsCopyIdle() const { return copyIdle_.load(); }
  void SetCopyIdle(bool idle) { copyIdle_ = idle; }

  // --- Download jobs ---------------------------------------------------------------------
  CTransferSession& Session() { return session_; }
  void StartDownload(const std::string& name);
  bool IsDownloadIdle() const;
  void MonitorDownload(const std::string& name, int64_t baseBytes);
  void WaitDownloadThread();
  bool DownloadFile(const std::string& name, const std::string& localPath);
  // The server's size of `name`, 0 when it cannot be learnt (`why` then says why). Only sizes
  // the server really gave are kept for later questions; a server that did not reply to one is
  // not waited for again in this run.
  int64_t RemoteFileSize(const std::string& name, TransferFailure* why = nullptr);
  // Sizes are cached per name; a file fetched again (Update.NFO after an improper answer) is asked anew.
  void ForgetRemoteSize(const std::string& name);
  void SetZipFlag(bool flag) { zipMode_ = flag; }
  // What Update.NFO says of the version of the file the next job fetches, and its announced MD5
  // and SHA-256 ("No" for none). Kept bytes of another announcement are never continued, nor
  // those of a file without the digest that checks it (the SHA-256 in a signed release, else
  // the MD5); a file continued from kept bytes that misses that digest is fetched again from
  // its start.
  void SetDownloadAnnouncement(const std::string& announcement, const std::string& md5,
                               const std::string& sha256 = "No");
  bool IsZipMode() const { return zipMode_.load(); }
  int64_t CurrentDownloadSize() const { return currentDownloadSize_.load(); }
  // The server's size of the file itself (not of its archive) as the last preparation learnt
  // it; 0 when the server did not say. What a downloaded file is checked against.
  int64_t ExpectedFileSize() const { return expectedFileSize_.load(); }
  std::string CurrentDownloadName() const;
  bool PrepareDownload(const std::string& name, bool showDiskMessage, bool plainOnly);
  // Shows the session's last failure ("Update failed." with its number and text), cancels the
  // update and runs the window's exit procedure. Nothing happens when there is no failure.
  void ReportError();
  void ReportError(const TransferFailure& failure);
  // True when the last submitted job ended with its file complete in the temporary folder.
  bool LastJobSucceeded() const { return jobResult_.load() == JobResult::Done; }

  // A step that failed without stopping the update (a copy, an unusable name, a file that does
  // not match the server's announcement) leaves its reason here; the update then ends with
  // "Update failed." and the reasons instead of "Update is completed.".
  void RecordFailure(const std::string& reason);
  std::vector<std::string> RecordedFailures() const;

  // --- Update sequence -------------------------------------------------------------------
  void StartUpdate();
  const UpdateInfo& Info() const { return updateInfo_; }
  UpdateInfo& MutableInfo() { return updateInfo_; }
  bool FetchUpdateFile(const std::string& fileName, const std::string& folder);
  bool FetchUpdateInfo();
  void ConfigureSession();
  void FinishUpdate();
  void AutoRunAfterUpdate();
  void SetPublisherRegistryMark();
  // The steps of the update, in the order the sequence runs them.
  void MigrateRegistry();
  bool UpdateLauncher();
  void UpdateClient();
  void DeleteListedFiles();
  // Deletes an installed file (or folder) that the installation no longer needs and names it on
  // the window, `shownName` followed by whether it went; nothing when it does not exist.
  void DeleteUnwantedFile(const std::string& path, const std::string& shownName);
  void UpdateErrorReporter();
  void UpdateResourcePacks();
  // Deletes the "*.SPF" files of the launcher folder that no name of `allPacks` names (letter
  // case aside); nothing when the list is empty.
  void PurgeUnlistedPacks(const std::vector<std::string>& allPacks);
  // 1 when the pack of entry `index` of `section` counts as outdated by its "<index>_Check"
  // mode (date, checksum and size against the server's), else 0.
  int CheckPackIntegrity(const std::string& section, const std::string& index);
  bool IsSequenceRunning() const;
  // Waits for the sequence thread (tests and the application's end).
  void WaitSequenceThread();
  // Waits `milliseconds`, or less when the running sequence ends meanwhile: a window's loop
  // sees the end at once.
  void PauseUntilSequenceEnds(uint32_t milliseconds);
  // True once this launcher holds the lock on its installation folder, which it takes at the
  // start of the update and keeps to the end of the process: only the holder may touch the
  // temporary folder.
  bool HoldsInstallation() const;
  // The installation's lock file and its record of trusted keys, which no release may delete:
  // without the lock a second launcher could take the folder, without the record a replayed
  // older release would count again.
  bool IsLaunchersOwnRecord(const std::string& path);

  // --- Signed releases (SignedRelease.cpp) ---------------------------------------------
  // True once the update has found a publisher key (PublisherKey in SolaneLauncher.CFG, or one
  // built in), even an unreadable one, or the installation has accepted a signed release before
  // (patch/ReleaseTrust.h): Update.NFO then counts only with a valid signature by that key and a
  // serial not below the highest accepted, and each download is checked by its SHA-256 instead
  // of its MD5, a file without one refused.
  bool RequiresSignedRelease() const { return signingRequired_.load(); }
  // What a downloaded file is checked against: its "<prefix>MD5" and "<prefix>SHA256" values.
  struct AnnouncedDigest {
    std::string md5 = "No";
    std::string sha256 = "No";
  };
  AnnouncedDigest AnnouncedDigestOf(const std::string& section, const std::string& prefix) const;

  // --- Login servers ---------------------------------------------------------------------
  // The list the player picks a login server from (CHINA and USA) and the random pick of the
  // other case. One lock guards the list and the selected entry, so any thread may call these;
  // an index that no longer names an entry is simply not acted on.

  // True for the locales whose window shows the list (CHINA, USA). The other locales neither
  // load, save nor show it: LoadServerFile and SaveServerFile do nothing for them.
  bool UsesServerList() const;
  // Replaces the list by SERVER.DAT beside the launcher. A missing or damaged file (bad header,
  // marker, count) leaves the list as it is; unreadable entries are skipped.
  void LoadServerFile();
  // Writes the list to SERVER.DAT from scratch, replacing the old file in one step. An empty list
  // writes nothing and leaves an existing file untouched. Write failures are silent.
  void SaveServerFile();
  // Called by the sequence once Update.NFO has been read: without a LoginServerList count the
  // random pick over "LoginServer"; with one, and a server-list locale and an attached window,
  // the merge and a redraw of the rows, with the flags below marking the refresh.
  void RefreshLoginServers();
  // Brings the list in line with Update.NFO's LoginServerList section, entries matched by
  // position: a shorter list drops the surplus (and the chosen login server with a dropped
  // selected entry), a changed ip resets the latency, a position with a missing key keeps its
  // old entry and appends nothing.
  void MergeServerList();
  // Chooses a random address of `section`'s "<n>_IP" keys as the login server: 1 when one was
  // chosen, else 0 with message 166 (not while cancelled) and the login server empty.
  int PickRandomLoginServer(const std::string& section);

  int EntryCount() const;
  // A copy of the entry at `index`; none outside 0..EntryCount()-1.
  std::optional<LoginServerEntry> EntryAt(int index) const;
  // Appends a copy (texts cut at LoginServerEntry::kMaxTextLength).
  void AddEntry(const LoginServerEntry& entry);
  // A row click, and a drawn row whose entry is selected: this entry becomes the only selected
  // one and its ip the chosen login server. False (and nothing changes) when there is no entry.
  bool SelectEntry(int index);
  // A stored selection counts once its row is drawn: the last selected entry among the `rows`
  // entries from `first` becomes the chosen one as by SelectEntry. Its index, -1 for none.
  int ChooseShownSelection(int first, int rows);
  // The selected entry (if any) is deselected and none is remembered; the chosen login server
  // is left to the caller.
  void ClearServerSelection();
  // Stores a measurement only while the entry at `index` still has `ip`: a probe step that was
  // under way when the list changed never writes into a removed or replaced entry. True when stored.
  bool SetEntryLatency(int index, const std::string& ip, int latencyMs);
  // Set while the list is being replaced from Update.NFO: the probe and scrolling pause.
  bool IsListLoading() const { return listLoading_.load(); }
  // Set once the list has been refreshed from Update.NFO.
  bool IsListRefreshed() const { return listRefreshed_.load(); }
  // Set by the probe when its walk passes the end of the list; cleared by the refresh.
  bool IsProbePassDone() const { return probePassDone_.load(); }
  void SetProbePassDone(bool done) { probePassDone_ = done; }

  // --- Latency probe (servers/LatencyProbe.cpp) -------------------------------------------
  // Starts the probe thread once, where the window shows the list (CHINA, USA), with the window
  // attached: created suspended at the lowest priority, then resumed. It walks the list and
  // measures each entry without a latency, showing the result on the entry's row while that row
  // is visible. It ends on a cancel, on WaitProbeThread, once the window is detached, or after
  // the pass that follows the refresh from Update.NFO. A window that detaches itself waits for
  // the thread (WaitProbeThread) before it goes.
  void StartProbe();
  bool IsProbeRunning() const;

  // --- Diagnostics (the DirectX check at start-up) ----------------------------------------
  bool DirectXOk() const { return directXOk_.load(); }
  std::string DirectXWarning() const;
  void SetDirectXResult(bool ok, const std::string& warning);

  // --- Server profile description (About box) ---------------------------------------------
  std::string ProfileDescription() const;
  void SetProfileDescription(const std::string& description);

 private:
  PatchEngine();
  ~PatchEngine();

  static std::atomic<PatchEngine*> instance_;

  // The session's storage mode and cancel flag follow the engine's.
  bool InMemoryStorageMode() const;
  void OnCancelChanging(bool flag);
  void DisconnectSession();

  mutable std::mutex textLock_;  // guards the texts below that two threads may touch

  // Start-up
  CCommandLine commandLine_;
  std::string webArgument_;
  std::atomic<int> clientRunning_{0};
  std::atomic<int> launcherUpdatePending_{0};
  std::string pendingLauncherFile_;
  std::string handOverOptions_;
  std::vector<std::string> startupWarnings_;  // under textLock_

  // Profile
  std::atomic<int> locale_{1};
  std::atomic<int> publisher_{1};

  // Paths
  std::string launcherExePath_;
  std::string launcherDir_;
  std::string launcherExeName_;
  std::string tempDir_;
  std::string replacedInstallationDir_;  // set by the run step before any thread starts
  std::once_flag pathsOnce_;
  void ComputePaths();

  // Window and flags
  std::atomic<LauncherWindow*> window_{nullptr};
  static constexpr int kNotCancelled = 0;
  std::atomic<int> cancel_{kNotCancelled};  // 0, or 1 + the CancelRequester that set it
  std::atomic<bool> finished_{false};
  std::atomic<bool> copyIdle_{true};
  std::atomic<bool> downloadStop_{false};
  std::atomic<bool> downloadIdle_{true};

  // Download jobs
  CTransferSession session_;
  std::string downloadName_;
  enum class JobResult { Pending, Done, Failed };
  std::atomic<JobResult> jobResult_{JobResult::Done};
  // Set while the download thread expects no byte from the network (unpacking an archive,
  // waiting for the player to read an error): the monitor's stall clock stands still.
  std::atomic<bool> stallClockPaused_{false};
  std::function<void()> beforeUnpackForTesting_;
  std::atomic<bool> zipMode_{false};
  std::atomic<int64_t> currentDownloadSize_{0};
  std::atomic<int64_t> expectedFileSize_{0};
  std::mutex sizeCacheLock_;
  std::map<std::string, int64_t> remoteSizeCache_;
  TransferFailure sizeQueryUnanswered_;  // under sizeCacheLock_: a size query that timed out
  // Wakes the download thread and the monitor when a job is submitted or ends, or when a stop
  // or a cancel is asked for: neither has to poll.
  std::mutex jobLock_;
  std::condition_variable jobChanged_;
  void NotifyJobChange();
  // Waits until `ready` holds (checked under the job lock) or `milliseconds` have passed.
  void WaitForJobChange(uint32_t milliseconds, const std::function<bool()>& ready);
  void DownloadThreadLoop();
  void RunUpdateSequence();

  // Parts of the update steps (ComponentUpdates.cpp, ResourcePacks.cpp).
  enum class ComponentDownload { NotPrepared, Failed, Done };
  bool ComponentNeedsUpdate(const std::string& section, const std::string& installedPath);
  void RecordUnusableName(const std::string& name);
  // Checks a downloaded file in the temporary folder against what the server announced: the
  // size it gave for the file, and the MD5 where `digest` has one, or with a publisher key the
  // SHA-256 it must have. A file that does not match is deleted and the failure recorded.
  bool CheckDownloadedFile(const std::string& name, const AnnouncedDigest& digest);
  ComponentDownload DownloadComponent(const std::string& section, const std::string& fileName);
  void UpdateInstalledComponent(const std::string& section, const std::string& defaultName, int labelId,
                                bool requireInstalled);
  struct PackPlan {
    struct Pack {
      std::string name;           // as the server names it
      std::string installedPath;  // where it goes
      std::string zip;            // its "<n>_ZIP" value
      AnnouncedDigest digest;     // its "<n>_MD5" and "<n>_SHA256" values
      std::string announcement;   // what the entry says of the pack's version
    };
    std::vector<Pack> toUpdate;
    std::vector<std::string> allPacks;
  };
  PackPlan DecidePacks();
  std::atomic<uint32_t> playerRateLimitKBps_{0};
  std::atomic<bool> verifyDigests_{false};
  std::atomic<unsigned> digestWorkers_{0};
  std::atomic<int64_t> digestSettleNs_{-1};
  std::mutex digestCacheLock_;
  std::unique_ptr<DigestCache> digestCache_;  // made at the first digest, under the lock above
  DigestCache& Digests();
  // Keeps this run's digests for the next one; nothing is written when nothing changed.
  void SaveDigestCache();
  int64_t SumPackSizes(const PackPlan& plan);
  bool DownloadPacks(const PackPlan& plan);
  void EndSequence(bool deleteTemp);

  // Update information
  class InfoReader : public UpdateInfoReader {
   public:
    explicit InfoReader(const UpdateInfo& info) : info_(info) {}
    int ReadInt(const std::string& section, const std::string& key, int defaultValue) const override {
      return info_.ReadInt(section, key, defaultValue);
    }
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const override {
      return info_.ReadString(section, key, defaultValue);
    }

   private:
    const UpdateInfo& info_;
  };
  UpdateInfo updateInfo_;
  InfoReader infoReader_{updateInfo_};
  bool RunDownloadAttempts(const std::string& remoteName, const std::string& localPath, bool archive, bool& resumed);
  bool FetchJobFile(const std::string& name, const std::string& transferName, bool zipJob, bool& resumed);
  std::string downloadAnnouncement_;  // under textLock_
  std::string downloadDigest_{"No"};  // under textLock_
  std::string downloadSha256_{"No"};  // under textLock_
  // Whether the file of the current job announces the digest that checks it, and whether the
  // file at `path` has it.
  bool DownloadHasDigest() const;
  bool HasAnnouncedDigest(const std::string& path);
  bool UnpackArchive(const std::string& archivePath, const std::string& wantedPath);
  // EnsureDirectories for a download: a folder that cannot be made is the job's failure.
  bool EnsureFoldersFor(const std::string& filePath);
  bool RunDownloadJob(const std::string& name);
  // Moves a checked download from the temporary folder to `installedPath`; a file that fails
  // its check or its copy is not installed and the failure is recorded.
  bool InstallDownloadedFile(const std::string& name, const std::string& installedPath, const AnnouncedDigest& digest);
  // The body of a file of the server path fetched into memory, none when it could not be had.
  std::optional<std::string> FetchIntoMemory(const std::string& fileName);
  // Signed releases: each false (with the reason on the status line) refuses the fetched file.
  void LoadPublisherKey();
  bool CheckReleaseSignature(const std::string& fileName, const std::string& body);
  bool AcceptReleaseSerial();
  bool RefuseUpdateInfo(int messageId);
  // 0 when the file has the announced SHA-256, else the message that says why not.
  int Sha256Problem(const std::string& path, const std::string& sha256);
  std::atomic<bool> signingRequired_{false};
  std::optional<ReleaseKey> publisherKey_;  // set by the sequence thread before any check
  bool publisherKeyGiven_ = false;          // a key line, even an unreadable one (sequence thread)
  std::optional<std::string> PathFromServerName(const std::string& base, std::string_view serverName,
                                                platform::LookupMemo* memo = nullptr);
  void ReportRecordedFailures();
  // False when another launcher holds the folder, or when the lock cannot be taken (`why` then
  // names the lock file and the system's reason).
  bool AcquireInstallation(TransferFailure& why);
  bool IsOversized() const;
  std::atomic<bool> probeStop_{false};
  // Created by one thread and looked at by the window's idle test: published atomically, owned
  // by the engine until it is deleted.
  std::atomic<platform::Thread*> sequenceThread_{nullptr};
  std::atomic<platform::Thread*> downloadThread_{nullptr};
  std::atomic<platform::Thread*> probeThread_{nullptr};

  std::atomic<const UpdateInfoReader*> updateInfoReader_{&infoReader_};
  std::mutex launchLock_;  // one update never starts two clients
  mutable std::mutex failuresLock_;
  std::vector<std::string> failures_;
  std::unique_ptr<platform::FileLock> installationLock_;  // taken by the sequence thread
  std::atomic<bool> holdsInstallation_{false};
  // The launcher's single-instance name, held while this engine (the launcher's run) lives.
  std::unique_ptr<platform::NamedMutex> singleInstance_;

  // Diagnostics
  std::atomic<bool> directXOk_{true};
  std::string directXWarning_;

  std::string profileDescription_;
  std::string loginServer_;

  // Login servers (servers/LoginServers.cpp). The selected entry is an index, not a pointer, so
  // a merge on the update thread can never leave the window or the probe holding a dead entry.
  std::string ServerFilePath();
  mutable std::mutex serverListLock_;  // taken before textLock_, never after it
  std::vector<LoginServerEntry> serverList_;
  int selectedServer_ = -1;  // the remembered selected entry, -1 for none
  void SelectEntryLocked(size_t index);  // with serverListLock_ held
  std::atomic<bool> listLoading_{false};
  std::atomic<bool> listRefreshed_{false};
  std::atomic<bool> probePassDone_{false};
  // The probe thread's own state and steps; the walk's end is noted under serverListLock_.
  struct ProbeWalk;
  void ProbeThreadLoop();
  void ProbeStep(ProbeWalk& walk, CPing& ping);
  std::optional<LoginServerEntry> NextProbeEntry(int& index, bool& passedEnd);
  void ShowLatency(int index, int latencyMs);
};
