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
#include <utility>

#include "download/TransferError.h"
#include "download/TransferRules.h"
#include "download/TransferStats.h"
#include "download/TransferUrl.h"
#include "platform/AsciiText.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/LoadableModule.h"
#include "platform/Path.h"

using namespace transfer_rules;

namespace {

constexpr std::pair<CURLcode, int> kLibraryCodes[] = {
    {CURLE_OPERATION_TIMEDOUT, transfer_error::kTimeout},
    {CURLE_URL_MALFORMAT, transfer_error::kInvalidUrl},
    {CURLE_UNSUPPORTED_PROTOCOL, transfer_error::kUnknownScheme},
    {CURLE_COULDNT_RESOLVE_HOST, transfer_error::kNameNotResolved},
    {CURLE_COULDNT_RESOLVE_PROXY, transfer_error::kNameNotResolved},
    {CURLE_LOGIN_DENIED, transfer_error::kLoginRefused},
    {CURLE_COULDNT_CONNECT, transfer_error::kCannotConnect},
    {CURLE_RECV_ERROR, transfer_error::kConnectionAborted},
    {CURLE_SEND_ERROR, transfer_error::kConnectionAborted},
    {CURLE_PARTIAL_FILE, transfer_error::kConnectionAborted},
    {CURLE_GOT_NOTHING, transfer_error::kConnectionAborted},
    {CURLE_WEIRD_SERVER_REPLY, transfer_error::kInvalidServerResponse},
    {CURLE_FTP_WEIRD_PASV_REPLY, transfer_error::kInvalidServerResponse},
    {CURLE_FTP_WEIRD_227_FORMAT, transfer_error::kInvalidServerResponse},
    {CURLE_BAD_CONTENT_ENCODING, transfer_error::kInvalidServerResponse},
    {CURLE_TOO_MANY_REDIRECTS, transfer_error::kInvalidServerResponse},
    {CURLE_HTTP2, transfer_error::kInvalidServerResponse},
    {CURLE_SSL_CONNECT_ERROR, transfer_error::kSecureChannel},
    {CURLE_PEER_FAILED_VERIFICATION, transfer_error::kSecureChannel},
    {CURLE_SSL_CERTPROBLEM, transfer_error::kSecureChannel},
    {CURLE_SSL_CIPHER, transfer_error::kSecureChannel},
    {CURLE_SSL_CACERT_BADFILE, transfer_error::kSecureChannel},
    {CURLE_SSL_ENGINE_NOTFOUND, transfer_error::kSecureChannel},
    {CURLE_USE_SSL_FAILED, transfer_error::kSecureChannel},
    {CURLE_ABORTED_BY_CALLBACK, transfer_error::kOperationCancelled},
};

constexpr long kReceiveBufferBytes = 256 * 1024;

// The libcurl functions the session calls. The library is loaded by its system name when the
// first transfer needs it, not by the loader at start: runs that transfer nothing (--version, the
// crash helper) then never map it nor the libraries it brings (TLS, HTTP/2, Kerberos, LDAP...).
#define SOLANE_CURL_FUNCTIONS(X) \
  X(global_init) X(easy_init) X(easy_setopt) X(easy_perform) X(easy_getinfo) X(easy_cleanup) \
  X(slist_append) X(slist_free_all) X(url) X(url_set) X(url_get) X(url_cleanup) X(free)

struct CurlLibrary {
#define SOLANE_CURL_FIELD(name) decltype(&curl_##name) name = nullptr;
  SOLANE_CURL_FUNCTIONS(SOLANE_CURL_FIELD)
#undef SOLANE_CURL_FIELD
  std::string error;  // why the library cannot be used; empty when it can
};

constexpr const char* kCurlSoname = "libcurl.so.4";

CurlLibrary LoadCurl() {
  static constexpr const char* kNames[] = {
#define SOLANE_CURL_NAME(name) "curl_" #name,
      SOLANE_CURL_FUNCTIONS(SOLANE_CURL_NAME)
#undef SOLANE_CURL_NAME
  };
  void* addresses[std::size(kNames)] = {};
  CurlLibrary library;
  library.error = platform::LoadSystemModuleSymbols(kCurlSoname, kNames, addresses);
  if (!library.error.empty()) return library;
  size_t next = 0;
#define SOLANE_CURL_TAKE(name) library.name = reinterpret_cast<decltype(library.name)>(addresses[next++]);
  SOLANE_CURL_FUNCTIONS(SOLANE_CURL_TAKE)
#undef SOLANE_CURL_TAKE
  // libcurl's start is safe on any thread (7.84 and later); the first caller does it, once.
  if (library.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) library.error = std::string(kCurlSoname) + ": cannot be started";
  return library;
}

// Loaded by the first caller, on whichever thread; the others wait for it.
const CurlLibrary& Curl() {
  static const CurlLibrary library = LoadCurl();
  return library;
}

bool CurlUsable() { return Curl().error.empty(); }

// The failure of a transfer that cannot run because libcurl cannot be used, naming the reason.
TransferFailure LibraryFailure() { return TransferFailure::Internet(transfer_error::kInternal, Curl().error); }

long WholeSeconds(uint32_t ms) { return std::max<long>(1, static_cast<long>((ms + 999) / 1000)); }

TransferFailure SessionFailure(int code) { return {TransferFailure::Kind::Session, code, 0, {}}; }

bool IsFtpRemoteFileError(CURLcode code) {
  return code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_REMOTE_ACCESS_DENIED ||
         code == CURLE_FTP_COULDNT_RETR_FILE;
}

// "host:port" of an address, for the player's error text; empty when it cannot be read.
std::string ServerOf(const char* address) {
  if (address == nullptr || !CurlUsable()) return {};
  CURLU* url = Curl().url();
  char* host = nullptr;
  char* port = nullptr;
  std::string server;
  if (url && Curl().url_set(url, CURLUPART_URL, address, 0) == CURLUE_OK &&
      Curl().url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      Curl().url_get(url, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK)
    server = std::string(host) + ":" + port;
  Curl().free(host);
  Curl().free(port);
  Curl().url_cleanup(url);
  return server;
}

// The server a transfer last talked to (after redirects, the last one).
std::string ServerOf(CURL* curl, const std::string& requested) {
  char* effective = nullptr;
  Curl().easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective);
  const std::string server = ServerOf(effective);
  return server.empty() ? ServerOf(requested.c_str()) : server;
}

// The text that names one version of an FTP file: its size and modification time.
std::string FtpValidator(CURL* curl) {
  curl_off_t size = -1, time = -1;
  Curl().easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
  Curl().easy_getinfo(curl, CURLINFO_FILETIME_T, &time);
  if (size < 0 || time < 0) return {};
  return std::to_string(size) + " " + std::to_string(time);
}

std::string DefaultAgent() {
  const std::string name = platform::FileNameOf(platform::ExecutablePath());
  return name.empty() ? "Solane Launcher" : name;
}

// An easy handle that is cleaned up on every path out of a transfer; null when libcurl is unusable.
struct EasyHandle {
  CURL* handle = CurlUsable() ? Curl().easy_init() : nullptr;
  curl_slist* headers = nullptr;
  ~EasyHandle() {
    if (handle != nullptr) Curl().easy_cleanup(handle);
    if (headers != nullptr) Curl().slist_free_all(headers);
  }
};

// The FTP handle outlives each transfer, and closing it still reports progress while it says
// goodbye to the server: it must not point at a finished transfer.
void DetachTransfer(CURL* curl) {
  Curl().easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, curl_off_t{0});
  Curl().easy_setopt(curl, CURLOPT_FILETIME, 0L);
  Curl().easy_setopt(curl, CURLOPT_NOPROGRESS, 1L);
  Curl().easy_setopt(curl, CURLOPT_XFERINFODATA, nullptr);
  Curl().easy_setopt(curl, CURLOPT_WRITEFUNCTION, nullptr);
  Curl().easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
}

}  // namespace

int TransferErrorFromLibraryCode(int curlCode) {
  if (curlCode == CURLE_OK) return 0;
  for (const auto& [library, ours] : kLibraryCodes) {
    if (library == curlCode) return ours;
  }
  return transfer_error::kInternal;
}

bool InitTransferLibrary() { return CurlUsable(); }

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
  if (!transfer.bodyBegun) Curl().easy_getinfo(transfer.handle, CURLINFO_RESPONSE_CODE, &transfer.status);
  return transfer.TakeBlock(data, bytes) ? bytes : 0;
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
  return transfer.ShouldEnd() ? 1 : 0;
}

CTransferSession::CTransferSession() = default;

CTransferSession::~CTransferSession() { Disconnect(); }

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
    Curl().easy_cleanup(static_cast<CURL*>(ftpHandle_));
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
  Curl().easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  Curl().easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CTransferSession::WriteBody);
  Curl().easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  Curl().easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CTransferSession::TransferProgress);
  Curl().easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  Curl().easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  // Certificates are checked against the system's authorities, or against the bundle that
  // CURL_CA_BUNDLE names (a publisher's own authority, a test authority), as curl itself does.
  if (const char* bundle = std::getenv("CURL_CA_BUNDLE"); bundle != nullptr && *bundle != '\0')
    Curl().easy_setopt(curl, CURLOPT_CAINFO, bundle);
  return Curl().easy_setopt(curl, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) == CURLE_OK;
}

void CTransferSession::ConfigureHttp(void* handle, void* headerList, Transfer& transfer) {
  CURL* curl = static_cast<CURL*>(handle);
  Curl().easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  // The headers are checked first (AcceptsRedirect); this holds where they are not read.
  Curl().easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, IsHttps(transfer.url) ? "https" : "http,https");
  Curl().easy_setopt(curl, CURLOPT_HEADERFUNCTION, &CTransferSession::HeaderLine);
  Curl().easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  Curl().easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  Curl().easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  Curl().easy_setopt(curl, CURLOPT_USERAGENT, agent_.empty() ? DefaultAgent().c_str() : agent_.c_str());
  Curl().easy_setopt(curl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(headerList));
  Curl().easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  Curl().easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  Curl().easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(httpConnectTimeoutMs_));
  if (!userName_.empty()) {
    Curl().easy_setopt(curl, CURLOPT_USERNAME, userName_.c_str());
    Curl().easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
  }
}

void CTransferSession::ConfigureFtp(void* handle) {
  CURL* curl = static_cast<CURL*>(handle);
  Curl().easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  Curl().easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
  Curl().easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeoutMs_));
  Curl().easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, WholeSeconds(receiveTimeoutMs_));
  if (!passive_) Curl().easy_setopt(curl, CURLOPT_FTPPORT, "-");
  if (!userName_.empty()) {
    Curl().easy_setopt(curl, CURLOPT_USERNAME, userName_.c_str());
    Curl().easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
  }
}

std::string CTransferSession::ServerAddress() const {
  return ServerOf((protocol_ == kProtocolFtp ? FtpUrl("") : BuildTransferUrl(host_, "", "http")).c_str());
}

bool CTransferSession::Connect() {
  if (protocol_ != kProtocolFtp) return true;
  std::lock_guard lock(transferLock_);
  CloseFtpLocked();
  if (!CurlUsable()) {
    SetFailure(LibraryFailure());
    return false;
  }
  CURL* curl = Curl().easy_init();
  if (curl == nullptr) {
    SetFailure(SessionFailure(transfer_error::kFtpConnectFailed));
    return false;
  }
  ConfigureFtp(curl);
  const std::string url = FtpUrl("");
  Curl().easy_setopt(curl, CURLOPT_URL, url.c_str());
  Curl().easy_setopt(curl, CURLOPT_NOBODY, 1L);
  // A refused connection is tried again, as many times as configured; anything else is final.
  CURLcode result = CURLE_COULDNT_CONNECT;
  for (int attempt = 0; attempt < std::max(1, connectRetries_) && result == CURLE_COULDNT_CONNECT; ++attempt) {
    if (cancel_.load()) break;
    result = Curl().easy_perform(curl);
  }
  if (result != CURLE_OK) {
    const int code = TransferErrorFromLibraryCode(result);
    SetFailure(code == transfer_error::kInternal ? SessionFailure(transfer_error::kFtpConnectFailed)
                                                 : TransferFailure::Internet(code, ServerOf(url.c_str())));
    Curl().easy_cleanup(curl);
    return false;
  }
  ftpHandle_ = curl;
  return true;
}

// FTP has no If-Range: the file's size and time are asked first (SIZE, MDTM), and the transfer
// continues with REST only when they are the kept bytes' own. Its validator is learnt either way.
void CTransferSession::PrepareFtpResume(void* handle, Transfer& transfer, const ResumePoint& resume) {
  CURL* curl = static_cast<CURL*>(handle);
  Curl().easy_setopt(curl, CURLOPT_FILETIME, 1L);
  Curl().easy_setopt(curl, CURLOPT_NOBODY, 1L);
  Transfer query;
  query.http = false;
  query.sizeOnly = true;
  ConfigureCommon(curl, query);
  const bool asked = Curl().easy_perform(curl) == CURLE_OK;
  Curl().easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  Curl().easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  transfer.validator = asked ? FtpValidator(curl) : std::string();
  transfer.continuing = transfer.resumeAsked && !transfer.validator.empty() && transfer.validator == resume.validator;
  Curl().easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(transfer.continuing ? resume.offset : 0));
}

std::optional<TransferFailure> CTransferSession::CarrierFailure(int curlCode, const Transfer& transfer) {
  const auto result = static_cast<CURLcode>(curlCode);
  if (result == CURLE_OK) return std::nullopt;
  if (!transfer.http && IsFtpRemoteFileError(result)) return SessionFailure(transfer_error::kFtpRemoteFileFailed);
  return TransferFailure::Internet(TransferErrorFromLibraryCode(result), ServerOf(transfer.handle, transfer.url));
}

bool CTransferSession::Download(const std::string& remotePath, const std::string& localPath, const ResumePoint& resume,
                                const BodyStartHandler& onBodyStart) {
  std::lock_guard lock(transferLock_);
  if (cancel_.load()) return false;
  if (protocol_ == kProtocolFtp && ftpHandle_ == nullptr) return false;
  if (!CurlUsable()) {
    SetFailure(LibraryFailure());
    return false;
  }

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
    owned.headers = Curl().slist_append(owned.headers, "Pragma: no-cache");
    owned.headers = Curl().slist_append(owned.headers, "Cache-Control: no-cache");
    // The rest of the file, but only if it is still the version the kept bytes came from;
    // otherwise the server sends the whole file.
    if (transfer.resumeAsked)
      owned.headers = Curl().slist_append(owned.headers, ("If-Range: " + resume.validator).c_str());
    ConfigureHttp(curl, owned.headers, transfer);
    if (transfer.resumeAsked) Curl().easy_setopt(curl, CURLOPT_RANGE, (std::to_string(resume.offset) + "-").c_str());
  } else {
    curl = static_cast<CURL*>(ftpHandle_);
  }
  if (!ConfigureCommon(curl, transfer)) {
    if (!transfer.http) DetachTransfer(curl);
    SetFailure(transfer.http ? TransferFailure::Internet(transfer_error::kInternal)
                             : SessionFailure(transfer_error::kFtpBufferSizeFailed));
    return false;
  }
  Curl().easy_setopt(curl, CURLOPT_URL, transfer.url.c_str());
  if (!transfer.http && !transfer.toMemory) PrepareFtpResume(curl, transfer, resume);
  Curl().easy_setopt(curl, CURLOPT_NOBODY, 0L);

  SetTransferred(0);
  transfer.startTick = platform::TickCount();
  transfer.lastDataTick = transfer.startTick;
  const CURLcode result = Curl().easy_perform(curl);
  if (transfer.http) Curl().easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &transfer.status);
  const bool ok = FinishTransfer(transfer, CarrierFailure(result, transfer), ServerOf(curl, transfer.url));
  if (!transfer.http) {
    DetachTransfer(curl);
    if (transfer.stop == Transfer::Stop::Cancel) CloseFtpLocked();
  }
  return ok;
}

std::optional<int64_t> CTransferSession::HttpSizeOf(const std::string& remotePath, bool headOnly, TransferFailure& why) {
  why = {};
  EasyHandle owned;
  if (owned.handle == nullptr) {
    why = CurlUsable() ? TransferFailure::Internet(transfer_error::kInternal) : LibraryFailure();
    return std::nullopt;
  }
  owned.headers = Curl().slist_append(owned.headers, "Pragma: no-cache");
  owned.headers = Curl().slist_append(owned.headers, "Cache-Control: no-cache");
  Transfer query;
  query.sizeOnly = true;
  query.url = BuildTransferUrl(host_, remotePath, "http");
  ConfigureHttp(owned.handle, owned.headers, query);
  ConfigureCommon(owned.handle, query);
  // No monitor watches a size query: it is held to the monitor's no-progress rule here.
  query.stallMs = std::min(query.stallMs, CTransferStats::kStallPeriodMs);
  Curl().easy_setopt(owned.handle, CURLOPT_URL, query.url.c_str());
  Curl().easy_setopt(owned.handle, CURLOPT_NOBODY, headOnly ? 1L : 0L);
  const CURLcode result = Curl().easy_perform(owned.handle);
  long status = 0;
  curl_off_t length = -1;
  Curl().easy_getinfo(owned.handle, CURLINFO_RESPONSE_CODE, &status);
  Curl().easy_getinfo(owned.handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
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
  Curl().easy_setopt(curl, CURLOPT_URL, url.c_str());
  Curl().easy_setopt(curl, CURLOPT_NOBODY, 1L);
  curl_off_t length = -1;
  const CURLcode result = Curl().easy_perform(curl);
  DetachTransfer(curl);
  if (result != CURLE_OK) {
    why = IsFtpRemoteFileError(result) ? SessionFailure(transfer_error::kFtpRemoteFileFailed)
                                       : TransferFailure::Internet(TransferErrorFromLibraryCode(result), ServerOf(url.c_str()));
    return std::nullopt;
  }
  Curl().easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length < 0) {
    why = TransferFailure::Internet(transfer_error::kInvalidServerResponse);
    return std::nullopt;
  }
  return static_cast<int64_t>(length);
}
