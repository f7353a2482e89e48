#pragma once
// The transfer session: moves one remote file at a time from the patch server (HTTP or FTP) to
// a local file or into memory, counts the bytes for the progress display, honours a bandwidth
// limit and stops at the next piece once cancelled. A failure leaves its number in the session
// (see download/TransferError.h) and returns false; nothing is ever thrown out of it.
//
// Threads: the configuration setters, Connect, Download and GetTotalSize run on one thread at a
// time (the sequence thread configures, the download thread transfers). SetCancel, IsCancelled,
// GetTransferred, GetErrorCode, GetStorageMode, GetText and Disconnect may be called from any
// thread at any time.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/TransferError.h"

// Loads and starts the transfer library, once per process: true when transfers can run. The first
// transfer calls it on its own thread, so that a run that transfers nothing never loads it (on
// Linux, libcurl and the libraries it brings); later calls return the first result.
bool InitTransferLibrary();

class CTransferSession {
 public:
  enum Protocol { kProtocolFtp = 0, kProtocolHttp = 1 };
  enum StorageMode { kStorageMemory = 1, kStorageFile = 2 };

  static constexpr int64_t kMaxMemoryBody = 16 * 1024 * 1024;
  static constexpr uint32_t kDefaultHttpConnectTimeoutMs = 60000;
  static constexpr uint32_t kDefaultHttpStallTimeoutMs = 60000;

  CTransferSession();
  ~CTransferSession();  // ends any transfer and closes the FTP connection
  CTransferSession(const CTransferSession&) = delete;
  CTransferSession& operator=(const CTransferSession&) = delete;

  // Restores every default except the host, clears the byte counter, the error number and the
  // expected size, and closes an open FTP connection.
  void Reset();

  // --- Configuration ------------------------------------------------------------------------
  // Server address or name, optionally with ":port" and with a scheme ("https://...").
  void SetHost(const std::string& host) { host_ = host; }
  const std::string& GetHost() const { return host_; }
  void SetServerPath(const std::string& path) { serverPath_ = path; }
  const std::string& GetServerPath() const { return serverPath_; }
  void SetUserName(const std::string& name) { userName_ = name; }  // empty = anonymous
  void SetPassword(const std::string& password) { password_ = password; }
  void SetPort(int port) { port_ = port == 0 ? 21 : port; }  // FTP only; 0 means 21
  int GetPort() const { return port_; }
  void SetPassive(bool passive) { passive_ = passive; }
  void SetConnectTimeout(uint32_t ms) { connectTimeoutMs_ = ms; }  // FTP
  void SetReceiveTimeout(uint32_t ms) { receiveTimeoutMs_ = ms; }  // FTP
  void SetConnectRetries(int count) { connectRetries_ = count; }   // FTP
  void SetProtocol(int protocol) { protocol_ = protocol; }
  int GetProtocol() const { return protocol_; }
  void SetAgent(const std::string& agent) { agent_ = agent; }
  const std::string& GetAgent() const { return agent_; }
  void SetStorageMode(int mode) { storageMode_ = mode; }
  int GetStorageMode() const { return storageMode_.load(); }
  // Bytes per millisecond; 0.0 or less = no limit.
  void SetRateLimit(double bytesPerMs) { rateLimit_ = bytesPerMs; }
  double GetRateLimit() const { return rateLimit_; }
  // The size the next transfers must not exceed; 0 or less = no limit. A body that runs past
  // it is cut off there and the transfer fails with kInvalidServerResponse.
  void SetExpectedSize(int64_t bytes) { expectedSize_ = bytes; }
  int64_t GetExpectedSize() const { return expectedSize_.load(); }
  // HTTP waits: for the connection, and for the next byte of the answer (a stall ends the
  // transfer with kTimeout, noticed within about a second; a size query waits no longer than the
  // download monitor's stall period). FTP uses the receive time-out for both the server's
  // replies and the stall. A redirect from https to http fails with kHttpsToHttpRedirect, one
  // to a scheme other than http and https with kUnknownScheme. Every failure of the transfer
  // itself carries the server's "host:port", of the local file its path.
  void SetHttpConnectTimeout(uint32_t ms) { httpConnectTimeoutMs_ = ms; }
  void SetHttpStallTimeout(uint32_t ms) { httpStallTimeoutMs_ = ms; }
  // "host:port" of the server the session's requests go to, for the player's error texts.
  std::string ServerAddress() const;

  // --- Operations ---------------------------------------------------------------------------
  // FTP: logs in and keeps the connection until Disconnect. HTTP: nothing to do, true.
  bool Connect();

  // Fetches `remotePath` (already prefixed with the server path) into `localPath` (File mode,
  // the file is created empty; ignored in Memory mode) or into GetText() (Memory mode).
  // True when the body arrived whole, or when a cancel stopped it after the request was made
  // (a partial file then stays). False on failure with GetErrorCode() telling why, and false with
  // the error number unchanged when cancelled before the request. An HTTP status other than 200
  // fails with that status and leaves no local file.
  bool Download(const std::string& remotePath, const std::string& localPath);

  // Where a transfer may pick up: the bytes already in the local file and the validator the
  // server gave for them (HTTP: its strong ETag, else its Last-Modified; FTP: "<size> <time>").
  struct ResumePoint {
    int64_t offset = 0;
    std::string validator;
  };
  // Called once the body of a File-mode answer begins, before its first byte is stored:
  // `keptBytes` is where the file is continued (0 = written anew from its start) and
  // `validator` what the server gave for this version of the file (empty when nothing).
  using BodyStartHandler = std::function<void(int64_t keptBytes, const std::string& validator)>;
  // Download, continuing the local file at `resume` when the server still has the same version
  // of the file: over HTTP a Range request guarded by If-Range, over FTP REST after the file's
  // size and time were found unchanged. A server that sends the whole file instead has it
  // written from the start. The byte counter then starts at the kept bytes, so it ends at the
  // file's full size either way. A range other than exactly the rest of a file of the expected
  // size (SetExpectedSize) fails the transfer with kInvalidServerResponse and removes the local
  // file.
  bool Download(const std::string& remotePath, const std::string& localPath, const ResumePoint& resume,
                const BodyStartHandler& onBodyStart);

  // The sum of the sizes the server reports for the listed remote paths. HTTP: 0 as soon as one
  // of them cannot be asked for (the error number is then set) or when cancelled; a name the
  // server does not answer with status 200 adds nothing.
  int64_t GetTotalSize(const std::vector<std::string>& remotePaths);

  // The size the server gives for one remote path, or none with the reason in `why` (an HTTP
  // status, a failed request, kInvalidServerResponse for an answer without a length). The
  // session's own failure is left alone: a size query is not a transfer. Over HTTP a server
  // that refuses HEAD or leaves out the length is asked with a GET that stops at the headers.
  std::optional<int64_t> RemoteSize(const std::string& remotePath, TransferFailure& why);

  // Stops a running transfer (it fails with kOperationCancelled unless cancelled) and closes the
  // FTP connection. Always true.
  bool Disconnect();

  void SetCancel(bool flag) { cancel_ = flag; }
  bool IsCancelled() const { return cancel_.load(); }

  // The last failure (only Reset and ClearFailure clear it) and its number, 0 when none.
  int GetErrorCode() const { return GetFailure().code; }
  TransferFailure GetFailure() const;
  void SetFailure(const TransferFailure& failure);
  void ClearFailure() { SetFailure({}); }

  void SetTransferred(int64_t bytes) { transferred_.exchange(bytes); }
  void AddTransferred(int64_t bytes) { transferred_.fetch_add(bytes); }
  int64_t GetTransferred() const { return transferred_.load(); }

  // The body of the last Memory-mode transfer.
  std::string GetText() const;

 private:
  struct Transfer;
  // The transfer's outcome from the session's own reasons to stop, else the carrier's failure.
  bool FinishTransfer(Transfer& transfer, const std::optional<TransferFailure>& carrierFailure, const std::string& server);
  std::optional<TransferFailure> CarrierFailure(int libraryCode, const Transfer& transfer);
  bool ConfigureCommon(void* handle, Transfer& transfer);
  void ConfigureHttp(void* handle, void* headerList, Transfer& transfer);
  void ConfigureFtp(void* handle);
  std::string FtpUrl(const std::string& remotePath) const;
  std::optional<int64_t> HttpSizeOf(const std::string& remotePath, bool headOnly, TransferFailure& why);
  std::optional<int64_t> FtpSizeOf(const std::string& remotePath, TransferFailure& why);
  std::optional<int64_t> RemoteSizeLocked(const std::string& remotePath, TransferFailure& why);
  void CloseFtpLocked();

  void PrepareFtpResume(void* handle, Transfer& transfer, const ResumePoint& resume);
  static size_t WriteBody(char* data, size_t size, size_t count, void* context);
  static size_t HeaderLine(char* data, size_t size, size_t count, void* context);
  static int TransferProgress(void* context, int64_t, int64_t, int64_t, int64_t);

  std::string host_;
  std::string serverPath_;
  std::string userName_;
  std::string password_;
  int port_ = 21;
  bool passive_ = true;
  uint32_t connectTimeoutMs_ = 5000;
  uint32_t receiveTimeoutMs_ = 5000;
  int connectRetries_ = 6;
  std::string agent_ = "Solane Patch";
  int protocol_ = kProtocolFtp;
  std::atomic<int> storageMode_{kStorageFile};
  double rateLimit_ = -1.0;
  uint32_t httpConnectTimeoutMs_ = kDefaultHttpConnectTimeoutMs;
  uint32_t httpStallTimeoutMs_ = kDefaultHttpStallTimeoutMs;

  std::atomic<bool> cancel_{false};
  std::atomic<int> closing_{0};  // callers inside Disconnect: the running transfer must stop
  mutable std::mutex failureLock_;
  TransferFailure failure_;
  std::atomic<int64_t> transferred_{0};
  std::atomic<int64_t> expectedSize_{0};

  std::mutex transferLock_;  // held by a running transfer and by whoever closes the FTP connection
  void* ftpHandle_ = nullptr;  // the FTP connection's handle, reused between transfers
  // The request a transfer is blocked in, which Disconnect closes to end it (WinINet has no
  // progress call to notice a flag in).
  std::mutex liveLock_;
  void* liveHandle_ = nullptr;

  mutable std::mutex textLock_;
  std::string textBody_;
};
