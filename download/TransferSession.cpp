#include "download/TransferSession.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "download/TransferError.h"
#include "download/TransferStats.h"
#include "download/TransferUrl.h"
#include "platform/AsciiText.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace {

// Callers see the body arrive in pieces of at most kPieceBytes: the byte counter, the cancel test
// and the rate limit go piece by piece. The library is still allowed to hand over larger blocks,
// and the local file is written in large blocks: per-piece system calls cost most of the
// throughput on a fast link.
constexpr size_t kPieceBytes = 10240;
constexpr long kReceiveBufferBytes = 256 * 1024;
constexpr size_t kFileBufferBytes = 1024 * 1024;
constexpr uint32_t kRateWaitSliceMs = 50;

bool InitLibraryOnce() {
  static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ok;
}

long WholeSeconds(uint32_t ms) { return std::max<long>(1, static_cast<long>((ms + 999) / 1000)); }

TransferFailure SessionFailure(int code) { return {TransferFailure::Kind::Session, code, 0, {}}; }

bool IsFtpRemoteFileError(CURLcode code) {
  return code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_REMOTE_ACCESS_DENIED ||
         code == CURLE_FTP_COULDNT_RETR_FILE;
}

// "bytes <first>-<last>/<total>"; none when the range is not that (a "*" total included).
struct ContentRange {
  int64_t first = 0, last = 0, total = 0;
};
std::optional<ContentRange> ParseContentRange(std::string_view text) {
  if (!text.starts_with("bytes ")) return std::nullopt;
  text.remove_prefix(6);
  ContentRange range;
  const char* const end = text.data() + text.size();
  std::from_chars_result read = std::from_chars(text.data(), end, range.first);
  if (read.ec != std::errc() || read.ptr == end || *read.ptr != '-') return std::nullopt;
  read = std::from_chars(read.ptr + 1, end, range.last);
  if (read.ec != std::errc() || read.ptr == end || *read.ptr != '/') return std::nullopt;
  read = std::from_chars(read.ptr + 1, end, range.total);
  if (read.ec != std::errc() || read.ptr != end) return std::nullopt;
  return range;
}

// "host:port" of an address, for the player's error text; empty when it cannot be read.
std::string ServerOf(const char* address) {
  if (address == nullptr) return {};
  CURLU* url = curl_url();
  char* host = nullptr;
  char* port = nullptr;
  std::string server;
  if (url && curl_url_set(url, CURLUPART_URL, address, 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK)
    server = std::string(host) + ":" + port;
  curl_free(host);
  curl_free(port);
  curl_url_cleanup(url);
  return server;
}

// The server a transfer last talked to (after redirects, the last one).
std::string ServerOf(CURL* curl, const std::string& requested) {
  char* effective = nullptr;
  curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
  const std::string server = ServerOf(effective);
  return server.empty() ? ServerOf(requested.c_str()) : server;
}

bool IsHttps(std::string_view url) { return platform::AsciiLowered(std::string(url.substr(0, 8))) == "https://"; }

// The scheme of an absolute address ("http" of "http://..."), lower case; empty for a relative one.
std::string SchemeOf(std::string_view location) {
  const size_t mark = location.find("://");
  if (mark == std::string_view::npos || !HostHasScheme(location)) return {};
  return platform::AsciiLowered(std::string(location.substr(0, mark)));
}

// The text that names one version of an FTP file: its size and modification time.
std::string FtpValidator(CURL* curl) {
  curl_off_t size = -1, time = -1;
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
  curl_easy_getinfo(curl, CURLINFO_FILETIME_T, &time);
  if (size < 0 || time < 0) return {};
  return std::to_string(size) + " " + std::to_string(time);
}

std::string DefaultAgent() {
  const std::string name = platform::FileNameOf(platform::ExecutablePath());
  return name.empty() ? "Solane Launcher" : name;
}

// An easy handle that is cleaned up on every path out of a transfer.
struct EasyHandle {
  CURL* handle = curl_easy_init();
  curl_slist* headers = nullptr;
  ~EasyHandle() {
    if (handle != nullptr) curl_easy_cleanup(handle);
    curl_slist_free_all(headers);
  }
};

// The FTP handle outlives each transfer, and closing it still reports progress while it says
// goodbye to the server: it must not point at a finished transfer.
void DetachTransfer(CURL* curl) {
  curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, curl_off_t{0});
  curl_easy_setopt(curl, CURLOPT_FILETIME, 0L);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, nullptr);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, nullptr);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
}

}  // namespace

bool InitTransferLibrary() { return InitLibraryOnce(); }

// The state of one running transfer, shared with the library's callbacks.
struct CTransferSession::Transfer {
  enum class Stop {
    None, Cancel, Closing, Stalled, BadStatus, BadRange, Overrun, MemoryFull, CreateFailed, WriteFailed, SizeKnown,
    RedirectLowered, RedirectElsewhere
  };

  CTransferSession* session = nullptr;
  CURL* handle = nullptr;
  std::string url;  // as requested
  bool http = true;
  bool sizeOnly = false;
  bool toMemory = false;
  std::string localPath;
  std::unique_ptr<char[]> fileBuffer;  // outlives `file`, which ~Transfer closes first
  std::FILE* file = nullptr;
  std::string body;
  int64_t expected = 0;
  int64_t received = 0;
  double rateLimit = 0.0;
  uint32_t startTick = 0;
  uint32_t stallMs = 0;       // no byte for this long ends the transfer; 0 = no limit
  uint32_t lastDataTick = 0;
  Stop stop = Stop::None;
  long status = 0;
  int createErrno = 0;
  int writeErrno = 0;
  bool created = false;
  // Resuming: the bytes kept in the local file, whether they were asked to be continued, and
  // whether this answer continues them (then the file is written from keptBytes on).
  int64_t keptBytes = 0;
  bool resumeAsked = false;
  bool continuing = false;
  bool bodyBegun = false;
  int64_t rateBase = 0;  // bytes not received by this transfer, left out of the rate limit
  const BodyStartHandler* onBodyStart = nullptr;
  std::string validator;  // FTP: learnt before the transfer
  // From the headers of the current HTTP answer (a redirect's are forgotten).
  int answerStatus = 0;
  std::string etag;
  std::string lastModified;
  std::string contentRange;

  ~Transfer() { CloseFile(); }

  // False when the buffered tail of the file could not be written.
  bool CloseFile() {
    if (file == nullptr) return true;
    errno = 0;
    const bool written = std::fclose(file) == 0;
    if (!written && writeErrno == 0) writeErrno = errno;
    file = nullptr;
    return written;
  }

  bool CreateFile() {
    file = std::fopen(localPath.c_str(), continuing ? "r+b" : "wb");
    // The kept bytes stay; anything past them (a piece written before a kill) goes.
    if (file != nullptr && continuing && !platform::CutOpenFile(file, keptBytes)) {
      std::fclose(file);
      file = nullptr;
    }
    if (file == nullptr) {
      createErrno = errno;
      stop = Stop::CreateFailed;
      return false;
    }
    // With the library's small default buffer the file would see two writes for every piece.
    // (A null buffer would keep the default size.)
    if (!fileBuffer) fileBuffer = std::make_unique<char[]>(kFileBufferBytes);
    std::setvbuf(file, fileBuffer.get(), _IOFBF, kFileBufferBytes);
    created = true;
    return true;
  }

  bool Store(const char* data, size_t bytes) {
    if (toMemory) {
      if (static_cast<int64_t>(body.size() + bytes) > kMaxMemoryBody) {
        stop = Stop::MemoryFull;
        return false;
      }
      body.append(data, bytes);
      return true;
    }
    // The file is created at the first byte of a good answer, so a failed request leaves none.
    if (file == nullptr && !CreateFile()) return false;
    if (bytes > 0 && std::fwrite(data, 1, bytes, file) != bytes) {
      writeErrno = errno;
      stop = Stop::WriteFailed;
      return false;
    }
    return true;
  }

  // Waits until the bytes received so far match the limit: rate × elapsed ÷ limit − elapsed,
  // which is received ÷ limit − elapsed. Written that way it also holds at elapsed 0, where the
  // rate is unknown: the library hands over many pieces at once, and they must not all pass
  // before the first millisecond ends. The wait is sliced so that a cancel still ends it quickly.
  void ApplyRateLimit() {
    if (rateLimit <= 0.0) return;
    const uint32_t elapsed = platform::TickCount() - startTick;
    auto wait = static_cast<int64_t>(static_cast<double>(received - rateBase) / rateLimit - elapsed);
    while (wait > 0 && !ShouldStop()) {
      const auto slice = static_cast<uint32_t>(std::min<int64_t>(wait, kRateWaitSliceMs));
      platform::SleepMs(slice);
      wait -= slice;
    }
  }

  // One piece of the body: stored (up to the expected size), counted, then held back by the
  // rate limit. False when the transfer must end.
  bool TakePiece(const char* data, size_t bytes) {
    size_t kept = bytes;
    bool overrun = false;
    if (expected > 0 && received + static_cast<int64_t>(bytes) > expected) {
      kept = static_cast<size_t>(std::max<int64_t>(0, expected - received));
      overrun = true;
    }
    if (!Store(data, kept)) return false;
    // All received bytes are counted, so the caller sees the size is wrong.
    received += static_cast<int64_t>(bytes);
    session->AddTransferred(static_cast<int64_t>(bytes));
    if (overrun) {
      stop = Stop::Overrun;
      return false;
    }
    ApplyRateLimit();
    return true;
  }

  // The first byte of the answer's body: decides whether it continues the kept bytes (a 206
  // whose range starts exactly there) or replaces them (a 200), opens the file accordingly and
  // tells the caller before anything is written. False when the answer cannot be used.
  bool BeginBody() {
    bodyBegun = true;
    if (http) {
      curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
      continuing = false;
      if (status == 206 && resumeAsked) {
        if (!ContinuesKeptBytes()) {
          stop = Stop::BadRange;
          return false;
        }
        continuing = true;
      } else if (status != 200) {
        stop = Stop::BadStatus;
        return false;
      }
      // Only a strong entity tag names exactly these bytes; a date is the next best guard.
      validator = !etag.empty() && !etag.starts_with("W/") ? etag : lastModified;
    }
    if (toMemory) return true;
    if (continuing) {
      received = rateBase = keptBytes;
      session->AddTransferred(keptBytes);
    }
    if (!CreateFile()) return false;
    if (onBodyStart && *onBodyStart) (*onBodyStart)(continuing ? keptBytes : 0, validator);
    return true;
  }

  // A 206 continues the kept bytes only when it holds exactly the rest of the file they belong
  // to: from the first byte not kept to the last of a file of the expected size.
  bool ContinuesKeptBytes() const {
    const std::optional<ContentRange> range = ParseContentRange(contentRange);
    return range && range->first == keptBytes && range->last == range->total - 1 &&
           (expected <= 0 || range->total == expected);
  }

  // A redirect may not leave https for http, nor http and https for another scheme; over FTP
  // there are none.
  bool AcceptsRedirect(std::string_view location) {
    const std::string scheme = SchemeOf(location);
    if (scheme.empty() || scheme == "https" || (scheme == "http" && !IsHttps(url))) return true;
    stop = scheme == "http" ? Stop::RedirectLowered : Stop::RedirectElsewhere;
    return false;
  }

  bool ShouldStop() {
    if (session->cancel_.load()) {
      stop = Stop::Cancel;
      return true;
    }
    if (session->closing_.load() > 0) {
      stop = Stop::Closing;
      return true;
    }
    return false;
  }
};

size_t CTransferSession::WriteBody(char* data, size_t size, size_t count, void* context) {
  auto& transfer = *static_cast<Transfer*>(context);
  const size_t bytes = size * count;
  if (transfer.sizeOnly) {
    // A size query that had to use GET ends at the first byte of body. (An FTP size query
    // passes its reply lines through here; they are simply dropped.)
    if (!transfer.http || bytes == 0) return bytes;
    transfer.stop = Transfer::Stop::SizeKnown;
    return 0;
  }
  if (transfer.ShouldStop()) return 0;
  if (!transfer.bodyBegun && !transfer.BeginBody()) return 0;
  for (size_t offset = 0; offset < bytes; offset += kPieceBytes) {
    if (offset > 0 && transfer.ShouldStop()) return 0;
    if (!transfer.TakePiece(data + offset, std::min(kPieceBytes, bytes - offset))) return 0;
  }
  transfer.lastDataTick = platform::TickCount();  // a wait for the rate limit is no stall
  return bytes;
}

size_t CTransferSession::HeaderLine(char* data, size_t size, size_t count, void* context) {
  auto& transfer = *static_cast<Transfer*>(context);
  const size_t bytes = size * count;
  std::string_view line(data, bytes);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    const size_t blank = line.find(' ');
    transfer.answerStatus = blank == std::string_view::npos ? 0 : std::atoi(std::string(line.substr(blank + 1, 3)).c_str());
    transfer.etag.clear();
    transfer.lastModified.clear();
    transfer.contentRange.clear();
    return bytes;
  }
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return bytes;
  const std::string name = platform::AsciiLowered(std::string(line.substr(0, colon)));
  std::string_view value = line.substr(colon + 1);
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  if (name == "etag") transfer.etag = value;
  else if (name == "last-modified") transfer.lastModified = value;
  else if (name == "content-range") transfer.contentRange = value;
  else if (name == "location" && transfer.answerStatus / 100 == 3 && !transfer.AcceptsRedirect(value)) return 0;
  return bytes;
}

// Called by the library at least about once a second, also while nothing arrives.
int CTransferSession::TransferProgress(void* context, int64_t, int64_t, int64_t, int64_t) {
  auto& transfer = *static_cast<Transfer*>(context);
  if (transfer.ShouldStop()) return 1;
  if (transfer.stallMs > 0 && platform::TickCount() - transfer.lastDataTick > transfer.stallMs) {
    transfer.stop = Transfer::Stop::Stalled;
    return 1;
  }
  return 0;
}

CTransferSession::CTransferSession() { InitLibraryOnce(); }

CTransferSession::~CTransferSession() { Disconnect(); }

void CTransferSession::Reset() {
  std::lock_guard lock(transferLock_);
  transferred_ = 0;
  ClearFailure();
  CloseFtpLocked();
  cancel_ = false;
  serverPath_.clear();
  userName_.clear();
  password_.clear();
  port_ = 21;
  passive_ = true;
  connectTimeoutMs_ = 5000;
  receiveTimeoutMs_ = 5000;
  connectRetries_ = 6;
  agent_ = "Solane Patch";
  protocol_ = kProtocolFtp;
  storageMode_ = kStorageFile;
  rateLimit_ = -1.0;
  expectedSize_ = 0;
  httpConnectTimeoutMs_ = kDefaultHttpConnectTimeoutMs;
  httpStallTimeoutMs_ = kDefaultHttpStallTimeoutMs;
  std::lock_guard textLock(textLock_);
  textBody_.clear();
}

TransferFailure CTransferSession::GetFailure() const {
  std::lock_guard lock(failureLock_);
  return failure_;
}

void CTransferSession::SetFailure(const TransferFailure& failure) {
  std::lock_guard lock(failureLock_);
  failure_ = failure;
}

std::string CTransferSession::GetText() const {
  std::lock_guard lock(textLock_);
  return textBody_;
}

bool CTransferSession::Disconnect() {
  closing_.fetch_add(1);
  {
    std::lock_guard lock(transferLock_);
    CloseFtpLocked();
  }
  closing_.fetch_sub(1);
  return true;
}

void CTransferSession::CloseFtpLocked() {
  if (ftpHandle_ != nullptr) {
    curl_easy_cleanup(static_cast<CURL*>(ftpHandle_));
    ftpHandle_ = nullptr;
  }
}

bool CTransferSession::ConfigureCommon(void* handle, Transfer& transfer) {
  CURL* curl = static_cast<CURL*>(handle);
  transfer.handle = curl;
  transfer.session = this;
  transfer.stallMs = transfer.http ? httpStallTimeoutMs_ : receiveTimeoutMs_;
  transfer.startTick = platform::TickCount();
  transfer.lastDataTick = transfer.startTick;
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CTransferSession::WriteBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CTransferSession::TransferProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  // Certificates are checked against the system's authorities, or against the bundle that
  // CURL_CA_BUNDLE names (a publisher's own authority, a test authority), as curl itself does.
  if (const char* bundle = std::getenv("CURL_CA_BUNDLE"); bundle != nullptr && *bundle != '\0')
    curl_easy_setopt(curl, CURLOPT_CAINFO, bundle);
  return curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) == CURLE_OK;
}

void CTransferSession::ConfigureHttp(void* handle, void* headerList, Transfer& transfer) {
  CURL* curl = static_cast<CURL*>(handle);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  // The headers are checked first (AcceptsRedirect); this holds where they are not read.
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, IsHttps(transfer.url) ? "https" : "http,https");
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CTransferSession::HeaderLine);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent_.empty() ? DefaultAgent().c_str() : agent_.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(headerList));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(httpConnectTimeoutMs_));
  if (!userName_.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, userName_.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
  }
}

void CTransferSession::ConfigureFtp(void* handle) {
  CURL* curl = static_cast<CURL*>(handle);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeoutMs_));
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, WholeSeconds(receiveTimeoutMs_));
  if (!passive_) curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");
  if (!userName_.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, userName_.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
  }
}

std::string CTransferSession::FtpUrl(const std::string& remotePath) const {
  std::string host = host_;
  const size_t nameStart = HostHasScheme(host) ? host.find("://") + 3 : 0;
  const size_t nameEnd = host.find('/', nameStart);
  const std::string name = host.substr(nameStart, nameEnd == std::string::npos ? std::string::npos : nameEnd - nameStart);
  if (name.find(':') == std::string::npos) {
    host.insert(nameEnd == std::string::npos ? host.size() : nameEnd, ":" + std::to_string(port_));
  }
  return BuildTransferUrl(host, remotePath, "ftp");
}

std::string CTransferSession::ServerAddress() const {
  return ServerOf((protocol_ == kProtocolFtp ? FtpUrl("") : BuildTransferUrl(host_, "", "http")).c_str());
}

bool CTransferSession::Connect() {
  if (protocol_ != kProtocolFtp) return true;
  std::lock_guard lock(transferLock_);
  CloseFtpLocked();
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    SetFailure(SessionFailure(transfer_error::kFtpConnectFailed));
    return false;
  }
  ConfigureFtp(curl);
  const std::string url = FtpUrl("");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  // A refused connection is tried again, as many times as configured; anything else is final.
  CURLcode result = CURLE_COULDNT_CONNECT;
  for (int attempt = 0; attempt < std::max(1, connectRetries_) && result == CURLE_COULDNT_CONNECT; ++attempt) {
    if (cancel_.load()) break;
    result = curl_easy_perform(curl);
  }
  if (result != CURLE_OK) {
    const int code = TransferErrorFromLibraryCode(result);
    SetFailure(code == transfer_error::kInternal ? SessionFailure(transfer_error::kFtpConnectFailed)
                                                 : TransferFailure::Internet(code, ServerOf(url.c_str())));
    curl_easy_cleanup(curl);
    return false;
  }
  ftpHandle_ = curl;
  return true;
}

// FTP has no If-Range: the file's size and time are asked first (SIZE, MDTM), and the transfer
// continues with REST only when they are the kept bytes' own. Its validator is learnt either way.
void CTransferSession::PrepareFtpResume(void* handle, Transfer& transfer, const ResumePoint& resume) {
  CURL* curl = static_cast<CURL*>(handle);
  curl_easy_setopt(curl, CURLOPT_FILETIME, 1L);
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  Transfer query;
  query.http = false;
  query.sizeOnly = true;
  ConfigureCommon(curl, query);
  const bool asked = curl_easy_perform(curl) == CURLE_OK;
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  transfer.validator = asked ? FtpValidator(curl) : std::string();
  transfer.continuing = transfer.resumeAsked && !transfer.validator.empty() && transfer.validator == resume.validator;
  curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(transfer.continuing ? resume.offset : 0));
}

bool CTransferSession::Download(const std::string& remotePath, const std::string& localPath) {
  return Download(remotePath, localPath, ResumePoint{}, BodyStartHandler{});
}

bool CTransferSession::Download(const std::string& remotePath, const std::string& localPath, const ResumePoint& resume,
                                const BodyStartHandler& onBodyStart) {
  std::lock_guard lock(transferLock_);
  if (cancel_.load()) return false;
  if (protocol_ == kProtocolFtp && ftpHandle_ == nullptr) return false;

  Transfer transfer;
  transfer.http = protocol_ != kProtocolFtp;
  transfer.toMemory = storageMode_.load() == kStorageMemory;
  transfer.localPath = platform::ResolvePath(localPath);
  transfer.expected = expectedSize_.load();
  transfer.rateLimit = rateLimit_;
  transfer.onBodyStart = &onBodyStart;
  // Kept bytes are continued only under a guard that the server's file is still theirs.
  if (!transfer.toMemory && resume.offset > 0 && !resume.validator.empty()) {
    transfer.keptBytes = resume.offset;
    transfer.resumeAsked = true;
  }
  if (transfer.toMemory) {
    std::lock_guard textLock(textLock_);
    textBody_.clear();
  }

  transfer.url = transfer.http ? BuildTransferUrl(host_, remotePath, "http") : FtpUrl(remotePath);
  EasyHandle owned;  // used over HTTP only: every HTTP transfer opens and closes its own
  CURL* curl = nullptr;
  if (transfer.http) {
    curl = owned.handle;
    if (curl == nullptr) {
      SetFailure(TransferFailure::Internet(transfer_error::kInternal));
      return false;
    }
    owned.headers = curl_slist_append(owned.headers, "Pragma: no-cache");
    owned.headers = curl_slist_append(owned.headers, "Cache-Control: no-cache");
    // The rest of the file, but only if it is still the version the kept bytes came from;
    // otherwise the server sends the whole file.
    if (transfer.resumeAsked)
      owned.headers = curl_slist_append(owned.headers, ("If-Range: " + resume.validator).c_str());
    ConfigureHttp(curl, owned.headers, transfer);
    if (transfer.resumeAsked) curl_easy_setopt(curl, CURLOPT_RANGE, (std::to_string(resume.offset) + "-").c_str());
  } else {
    curl = static_cast<CURL*>(ftpHandle_);
  }
  if (!ConfigureCommon(curl, transfer)) {
    if (!transfer.http) DetachTransfer(curl);
    SetFailure(transfer.http ? TransferFailure::Internet(transfer_error::kInternal)
                             : SessionFailure(transfer_error::kFtpBufferSizeFailed));
    return false;
  }
  curl_easy_setopt(curl, CURLOPT_URL, transfer.url.c_str());
  if (!transfer.http && !transfer.toMemory) PrepareFtpResume(curl, transfer, resume);
  curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);

  SetTransferred(0);
  transfer.startTick = platform::TickCount();
  transfer.lastDataTick = transfer.startTick;
  const CURLcode result = curl_easy_perform(curl);
  const bool ok = FinishTransfer(result, transfer);
  if (!transfer.http) {
    DetachTransfer(curl);
    if (transfer.stop == Transfer::Stop::Cancel) CloseFtpLocked();
  }
  return ok;
}

bool CTransferSession::FinishTransfer(int curlCode, Transfer& transfer) {
  using Stop = Transfer::Stop;
  // The file's last block is written only here; losing it must not pass for success.
  const bool fileWritten = transfer.CloseFile();
  const auto result = static_cast<CURLcode>(curlCode);
  auto fail = [&](const TransferFailure& failure) {
    SetFailure(failure);
    return false;
  };
  auto createFailure = [&] {
    if (transfer.http) return TransferFailure::LocalFile(transfer.createErrno, transfer.localPath);
    return TransferFailure{TransferFailure::Kind::Session, transfer_error::kLocalFileCreateFailed, transfer.createErrno,
                           transfer.localPath};
  };
  auto writeFailure = [&] {
    return TransferFailure{TransferFailure::Kind::Session, transfer_error::kLocalFileWriteFailed, transfer.writeErrno,
                           transfer.localPath};
  };
  // Failures of the transfer itself name the server they happened with.
  const std::string server = ServerOf(transfer.handle, transfer.url);
  auto internet = [&](int code) { return TransferFailure::Internet(code, server); };
  auto keepText = [&] {
    if (!transfer.toMemory) return;
    std::lock_guard lock(textLock_);
    textBody_ = std::move(transfer.body);
  };

  switch (transfer.stop) {
    case Stop::Cancel:
      keepText();
      return true;
    case Stop::Closing:
      if (cancel_.load()) {
        keepText();
        return true;
      }
      return fail(internet(transfer_error::kOperationCancelled));
    case Stop::Stalled: return fail(internet(transfer_error::kTimeout));
    case Stop::BadStatus: return fail(TransferFailure::Http(static_cast<int>(transfer.status), server));
    case Stop::BadRange:
      // A range other than the one asked for: the kept bytes are not continued again.
      std::remove(transfer.localPath.c_str());
      return fail(internet(transfer_error::kInvalidServerResponse));
    case Stop::Overrun:
    case Stop::MemoryFull: return fail(internet(transfer_error::kInvalidServerResponse));
    case Stop::RedirectLowered: return fail(internet(transfer_error::kHttpsToHttpRedirect));
    case Stop::RedirectElsewhere: return fail(internet(transfer_error::kUnknownScheme));
    case Stop::CreateFailed: return fail(createFailure());
    case Stop::WriteFailed: return fail(writeFailure());
    case Stop::None:
    case Stop::SizeKnown: break;
  }

  if (result != CURLE_OK) {
    if (!transfer.http && IsFtpRemoteFileError(result)) return fail(SessionFailure(transfer_error::kFtpRemoteFileFailed));
    return fail(internet(TransferErrorFromLibraryCode(result)));
  }
  if (!fileWritten) return fail(writeFailure());
  if (transfer.http) {
    long status = 0;
    curl_easy_getinfo(transfer.handle, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200 && !(status == 206 && transfer.continuing)) return fail(TransferFailure::Http(static_cast<int>(status), server));
  }
  // An empty body still leaves an (empty) file.
  if (!transfer.toMemory && !transfer.created) {
    if (!transfer.CreateFile()) return fail(createFailure());
    if (!transfer.CloseFile()) return fail(writeFailure());
  }
  keepText();
  return true;
}

int64_t CTransferSession::GetTotalSize(const std::vector<std::string>& remotePaths) {
  std::lock_guard lock(transferLock_);
  if (protocol_ == kProtocolFtp && ftpHandle_ == nullptr) return 0;
  int64_t total = 0;
  for (const std::string& remotePath : remotePaths) {
    if (cancel_.load()) return 0;
    TransferFailure why;
    const std::optional<int64_t> size = RemoteSizeLocked(remotePath, why);
    if (size) {
      total += *size;
    } else if (protocol_ != kProtocolFtp && why.kind != TransferFailure::Kind::HttpStatus) {
      SetFailure(why);
      return 0;
    }
    platform::SleepMs(1);
  }
  return total;
}

std::optional<int64_t> CTransferSession::RemoteSize(const std::string& remotePath, TransferFailure& why) {
  std::lock_guard lock(transferLock_);
  why = {};
  if (cancel_.load()) {
    why = TransferFailure::Internet(transfer_error::kOperationCancelled);
    return std::nullopt;
  }
  return RemoteSizeLocked(remotePath, why);
}

std::optional<int64_t> CTransferSession::RemoteSizeLocked(const std::string& remotePath, TransferFailure& why) {
  if (protocol_ == kProtocolFtp) {
    if (ftpHandle_ == nullptr) {
      why = SessionFailure(transfer_error::kFtpConnectFailed);
      return std::nullopt;
    }
    return FtpSizeOf(remotePath, why);
  }
  std::optional<int64_t> size = HttpSizeOf(remotePath, true, why);
  // Some servers refuse HEAD or answer it without a length; the headers of a GET tell the size.
  const bool refused = why.kind == TransferFailure::Kind::HttpStatus && (why.code == 405 || why.code == 501);
  const bool lengthless = why.kind == TransferFailure::Kind::Internet && why.code == transfer_error::kInvalidServerResponse;
  if (!size && (refused || lengthless)) size = HttpSizeOf(remotePath, false, why);
  return size;
}

std::optional<int64_t> CTransferSession::HttpSizeOf(const std::string& remotePath, bool headOnly, TransferFailure& why) {
  why = {};
  EasyHandle owned;
  if (owned.handle == nullptr) {
    why = TransferFailure::Internet(transfer_error::kInternal);
    return std::nullopt;
  }
  owned.headers = curl_slist_append(owned.headers, "Pragma: no-cache");
  owned.headers = curl_slist_append(owned.headers, "Cache-Control: no-cache");
  Transfer query;
  query.sizeOnly = true;
  query.url = BuildTransferUrl(host_, remotePath, "http");
  ConfigureHttp(owned.handle, owned.headers, query);
  ConfigureCommon(owned.handle, query);
  // No monitor watches a size query: it is held to the monitor's no-progress rule here.
  query.stallMs = std::min(query.stallMs, CTransferStats::kStallPeriodMs);
  curl_easy_setopt(owned.handle, CURLOPT_URL, query.url.c_str());
  curl_easy_setopt(owned.handle, CURLOPT_NOBODY, headOnly ? 1L : 0L);
  const CURLcode result = curl_easy_perform(owned.handle);
  long status = 0;
  curl_off_t length = -1;
  curl_easy_getinfo(owned.handle, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_getinfo(owned.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  // A GET is stopped at its first byte of body: the headers already told what is wanted.
  const bool stoppedAtBody = !headOnly && query.stop == Transfer::Stop::SizeKnown;
  const std::string server = ServerOf(owned.handle, query.url);
  if (query.stop == Transfer::Stop::Stalled) {
    why = TransferFailure::Internet(transfer_error::kTimeout, server);
  } else if (query.stop == Transfer::Stop::RedirectLowered) {
    why = TransferFailure::Internet(transfer_error::kHttpsToHttpRedirect, server);
  } else if (query.stop == Transfer::Stop::RedirectElsewhere) {
    why = TransferFailure::Internet(transfer_error::kUnknownScheme, server);
  } else if (query.stop != Transfer::Stop::None && !stoppedAtBody) {
    why = TransferFailure::Internet(transfer_error::kOperationCancelled, server);
  } else if (result != CURLE_OK && !stoppedAtBody) {
    why = TransferFailure::Internet(TransferErrorFromLibraryCode(result), server);
  } else if (status != 200) {
    why = TransferFailure::Http(static_cast<int>(status), server);
  } else if (length < 0) {
    why = TransferFailure::Internet(transfer_error::kInvalidServerResponse, server);
  } else {
    return static_cast<int64_t>(length);
  }
  return std::nullopt;
}

std::optional<int64_t> CTransferSession::FtpSizeOf(const std::string& remotePath, TransferFailure& why) {
  why = {};
  CURL* curl = static_cast<CURL*>(ftpHandle_);
  Transfer query;
  query.http = false;
  query.sizeOnly = true;
  ConfigureCommon(curl, query);
  const std::string url = FtpUrl(remotePath);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  curl_off_t length = -1;
  const CURLcode result = curl_easy_perform(curl);
  DetachTransfer(curl);
  if (result != CURLE_OK) {
    why = IsFtpRemoteFileError(result) ? SessionFailure(transfer_error::kFtpRemoteFileFailed)
                                       : TransferFailure::Internet(TransferErrorFromLibraryCode(result), ServerOf(url.c_str()));
    return std::nullopt;
  }
  curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length < 0) {
    why = TransferFailure::Internet(transfer_error::kInvalidServerResponse);
    return std::nullopt;
  }
  return static_cast<int64_t>(length);
}
