// The transfer session's carrier on Windows: WinINet moves the bytes, the rules of
// download/TransferRules.h decide what they mean (pieces, limits, stall, ranges, failures).
#include "platform/win32/WideText.h"

#include <wininet.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "download/TransferError.h"
#include "download/TransferRules.h"
#include "download/TransferSession.h"
#include "download/TransferStats.h"
#include "download/TransferUrl.h"
#include "platform/Clock.h"
#include "platform/Path.h"

namespace {

constexpr DWORD kReadBytes = 64 * 1024;

TransferFailure SessionFailure(int code) { return {TransferFailure::Kind::Session, code, 0, {}}; }

// WinINet's own numbers are the session's; every certificate complaint is the one secure-channel
// failure players are told about.
int ErrorNumber(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: return transfer_error::kSecureChannel;
    case ERROR_INTERNET_EXTENDED_ERROR: return transfer_error::kInvalidServerResponse;
    // Some systems name a refused FTP login so; players know it as the refused password.
    case ERROR_INTERNET_LOGIN_FAILURE: return transfer_error::kLoginRefused;
    default: break;
  }
  return error > INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST ? static_cast<int>(error) : transfer_error::kInternal;
}

// A handle closed on every path out; Disconnect may already have closed the live request.
struct Internet {
  HINTERNET handle = nullptr;
  explicit Internet(HINTERNET opened = nullptr) : handle(opened) {}
  ~Internet() {
    if (handle != nullptr) InternetCloseHandle(handle);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
};

// The parts of an address WinINet connects with.
struct Address {
  bool https = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // with its query, as it goes on the request line
  std::string server;  // "host:port" for the player's error text
};

std::optional<Address> CrackAddress(const std::string& url, int& error) {
  const std::wstring wide = platform::Widen(url);
  wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH;
  parts.dwUrlPathLength = 1;   // pointers into `wide`
  parts.dwExtraInfoLength = 1;
  parts.dwSchemeLength = 1;
  if (!InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) {
    error = ErrorNumber(GetLastError());
    if (error == transfer_error::kInternal) error = transfer_error::kInvalidUrl;
    return std::nullopt;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS &&
      parts.nScheme != INTERNET_SCHEME_FTP) {
    error = transfer_error::kUnknownScheme;
    return std::nullopt;
  }
  // The port as written: a number past 65535 must not wrap round to another port.
  const size_t authority = url.find("://") == std::string::npos ? 0 : url.find("://") + 3;
  const std::string hostPart = url.substr(authority, url.find('/', authority) - authority);
  const size_t colon = hostPart.rfind(':');
  if (colon != std::string::npos && hostPart.find(']', colon) == std::string::npos &&
      (hostPart.size() - colon - 1 > 5 || std::stol("0" + hostPart.substr(colon + 1)) > 65535)) {
    error = transfer_error::kInvalidUrl;
    return std::nullopt;
  }
  Address address;
  address.https = parts.nScheme == INTERNET_SCHEME_HTTPS;
  address.host.assign(host, parts.dwHostNameLength);
  address.port = parts.nPort;
  if (parts.lpszUrlPath != nullptr) address.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo != nullptr) address.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (address.path.empty()) address.path = L"/";
  address.server = platform::Narrow(address.host) + ":" + std::to_string(address.port);
  return address;
}

std::string QueryText(HINTERNET request, DWORD what) {
  wchar_t buffer[1024];
  DWORD bytes = sizeof(buffer);
  DWORD index = 0;
  if (!HttpQueryInfoW(request, what, buffer, &bytes, &index)) return {};
  return platform::Narrow(std::wstring_view(buffer, bytes / sizeof(wchar_t)));
}

std::optional<int64_t> QueryNumber(HINTERNET request, DWORD what) {
  const std::string text = QueryText(request, what);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18) return std::nullopt;
  return std::stoll(text);
}

// Set on every handle: Wine takes a request's time-outs from its own handle and its connection's,
// never from the session handle.
void SetTimeouts(HINTERNET handle, uint32_t connectMs, uint32_t receiveMs) {
  DWORD connect = connectMs, receive = receiveMs == 0 ? 0xFFFFFFFF : receiveMs;
  InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof(connect));
  InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof(receive));
  InternetSetOptionW(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &receive, sizeof(receive));
  InternetSetOptionW(handle, INTERNET_OPTION_CONTROL_RECEIVE_TIMEOUT, &receive, sizeof(receive));
}

// How often a transfer waiting for a blocking call asks its rules (cancel, stall).
constexpr uint32_t kWaitSliceMs = 1000;

// The receive time-out of a transfer whose stall period is `stallMs`: longer than the period, since
// the transfer judges a stall by its own clock (Wine reports a lapsed time-out as an aborted
// connection); it only ends a call the transfer stopped waiting for.
uint32_t ReceiveTimeoutFor(uint32_t stallMs) { return stallMs == 0 ? 0 : stallMs + 2 * kWaitSliceMs; }

// Makes blocking WinINet calls (each gives its error, ERROR_SUCCESS when it succeeded) on a thread
// of its own and waits for each, asking `stop` between slices: under Wine neither closing the
// handle from another thread nor a cancel ends a blocked send or read. When `stop` ends a wait, the
// call goes on until its receive time-out, owning what it uses (captured by value or shared), and
// the caller makes no further calls.
class BlockingCalls {
 public:
  BlockingCalls() : shared_(std::make_shared<Shared>()), thread_([shared = shared_] { shared->Serve(); }) {}
  ~BlockingCalls() {
    {
      std::lock_guard hold(shared_->lock);
      shared_->quit = true;
    }
    shared_->changed.notify_all();
    if (abandoned_) thread_.detach();
    else thread_.join();
  }
  BlockingCalls(const BlockingCalls&) = delete;
  BlockingCalls& operator=(const BlockingCalls&) = delete;

  // The call's error, or none when `stop` ended the wait first.
  std::optional<DWORD> Make(std::function<DWORD()> call, const std::function<bool()>& stop) {
    std::unique_lock hold(shared_->lock);
    shared_->call = std::move(call);
    shared_->result.reset();
    shared_->changed.notify_all();
    while (!shared_->changed.wait_for(hold, std::chrono::milliseconds(kWaitSliceMs),
                                      [&] { return shared_->result.has_value(); })) {
      hold.unlock();
      const bool stopping = stop && stop();
      hold.lock();
      if (stopping && !shared_->result) {
        abandoned_ = true;
        return std::nullopt;
      }
    }
    return shared_->result;
  }

 private:
  struct Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::function<DWORD()> call;
    std::optional<DWORD> result;
    bool quit = false;

    void Serve() {
      std::unique_lock hold(lock);
      for (;;) {
        changed.wait(hold, [&] { return quit || call != nullptr; });
        if (call == nullptr) return;
        std::function<DWORD()> next = std::move(call);
        call = nullptr;
        hold.unlock();
        const DWORD error = next();
        hold.lock();
        result = error;
        changed.notify_all();
      }
    }
  };
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  bool abandoned_ = false;
};

std::string DefaultAgent() {
  const std::string name = platform::FileNameOf(platform::ExecutablePath());
  return name.empty() ? "Solane Launcher" : name;
}

// Redirects followed before an answer counts as invalid, as many as on the libcurl side.
constexpr int kMaxRedirects = 10;

// What every HTTP request of a session carries.
struct HttpSettings {
  std::wstring agent;
  uint32_t connectMs = 0;
  uint32_t stallMs = 0;
  // Asked while an answer is awaited: true when the wait must end (a cancel, the stall rule).
  std::function<bool()> stop;
  std::string userName;  // sent to the first server only, never to one a redirect leads to
  std::string password;
};

HttpSettings MakeHttpSettings(const std::string& agent, uint32_t connectMs, uint32_t stallMs,
                              const std::string& userName, const std::string& password) {
  return {platform::Widen(agent.empty() ? DefaultAgent() : agent), connectMs, stallMs, {}, userName, password};
}

// One HTTP request and its answer, on handles of its own. WinINet would follow redirects by its
// system's rule (Windows refuses https to http, Wine follows it), so the exchange follows them
// itself, by the session's rule.
struct HttpExchange {
  // Takes each request's handle as it is made (null: none any more) and gives back the one it
  // replaces, still open, or null when it was closed meanwhile (Disconnect closes the live request
  // under a blocked send or read). Without it the exchange owns its requests.
  std::function<HINTERNET(HINTERNET)> handOver;
  Internet root;
  Internet connection;
  HINTERNET request = nullptr;  // the last answer's
  std::string url;              // the last address asked
  std::string server;           // its "host:port", for the player's error text
  long status = 0;

  HttpExchange() = default;
  HttpExchange(const HttpExchange&) = delete;
  HttpExchange& operator=(const HttpExchange&) = delete;
  ~HttpExchange() {
    if (!handOver && request != nullptr) InternetCloseHandle(request);
  }

  void CloseRequest() {
    HINTERNET open = handOver ? handOver(nullptr) : request;
    if (open != nullptr) InternetCloseHandle(open);
    request = nullptr;
  }
};

// ExchangeHttp's result when `settings.stop` ended the wait for an answer.
constexpr int kStoppedWaiting = -1;

// Sends `method` for `url` with `headers` and follows the answer's redirects. 0 when an answer
// came that is not a redirect (its status in `exchange.status`), kStoppedWaiting, else the
// session's error number.
int ExchangeHttp(HttpExchange& exchange, BlockingCalls& calls, std::string url, const wchar_t* method,
                 const std::string& headers, const HttpSettings& settings) {
  exchange.root.handle = InternetOpenW(settings.agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (exchange.root.handle == nullptr) return ErrorNumber(GetLastError());
  const uint32_t receiveMs = ReceiveTimeoutFor(settings.stallMs);
  SetTimeouts(exchange.root.handle, settings.connectMs, receiveMs);
  const std::wstring wideHeaders = platform::Widen(headers);
  std::string firstServer;
  for (int redirects = 0;; ++redirects) {
    int crackError = 0;
    const std::optional<Address> address = CrackAddress(url, crackError);
    if (!address) return crackError;
    exchange.url = url;
    exchange.server = address->server;
    if (firstServer.empty()) firstServer = address->server;
    exchange.CloseRequest();
    if (exchange.connection.handle != nullptr) InternetCloseHandle(exchange.connection.handle);
    const bool login = !settings.userName.empty() && address->server == firstServer;
    exchange.connection.handle =
        InternetConnectW(exchange.root.handle, address->host.c_str(), address->port,
                         login ? platform::Widen(settings.userName).c_str() : nullptr,
                         login ? platform::Widen(settings.password).c_str() : nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (exchange.connection.handle == nullptr) return ErrorNumber(GetLastError());
    SetTimeouts(exchange.connection.handle, settings.connectMs, receiveMs);
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                        INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT |
                        (address->https ? INTERNET_FLAG_SECURE : 0);
    // Asked with HTTP/1.0, which ends the connection after the answer: a connection WinINet kept
    // for the next request would carry whatever a bad answer sent past its length into it.
    HINTERNET request = HttpOpenRequestW(exchange.connection.handle, method, address->path.c_str(), L"HTTP/1.0", nullptr,
                                         nullptr, flags, 0);
    if (request == nullptr) return ErrorNumber(GetLastError());
    if (exchange.handOver) exchange.handOver(request);
    exchange.request = request;
    SetTimeouts(request, settings.connectMs, receiveMs);
    const std::optional<DWORD> sent = calls.Make(
        [request, wideHeaders] {
          return HttpSendRequestW(request, wideHeaders.c_str(), static_cast<DWORD>(wideHeaders.size()), nullptr, 0)
                     ? ERROR_SUCCESS
                     : GetLastError();
        },
        settings.stop);
    if (!sent) return kStoppedWaiting;
    if (*sent != ERROR_SUCCESS) return ErrorNumber(*sent);
    exchange.status = static_cast<long>(QueryNumber(request, HTTP_QUERY_STATUS_CODE).value_or(0));
    const std::string location = QueryText(request, HTTP_QUERY_LOCATION);
    const bool redirect = exchange.status == 301 || exchange.status == 302 || exchange.status == 303 ||
                          exchange.status == 307 || exchange.status == 308;
    if (!redirect || location.empty()) return 0;
    switch (transfer_rules::JudgeRedirect(url, location)) {
      case transfer_rules::RedirectVerdict::Lowered: return transfer_error::kHttpsToHttpRedirect;
      case transfer_rules::RedirectVerdict::Elsewhere: return transfer_error::kUnknownScheme;
      case transfer_rules::RedirectVerdict::Follow: break;
    }
    if (redirects == kMaxRedirects) return transfer_error::kInvalidServerResponse;
    // A location may be relative to the address it answers.
    const std::wstring base = platform::Widen(url), relative = platform::Widen(location);
    wchar_t combined[INTERNET_MAX_URL_LENGTH + 1];
    DWORD length = INTERNET_MAX_URL_LENGTH + 1;
    if (!InternetCombineUrlW(base.c_str(), relative.c_str(), combined, &length, ICU_NO_ENCODE))
      return transfer_error::kInvalidServerResponse;
    url = platform::Narrow(std::wstring_view(combined, length));
  }
}

// The FTP connection kept between transfers, with the session handle it lives in.
struct FtpConnection {
  Internet root;
  Internet connection;
};

// The server's one-line answer to an FTP command ("213 1500000"); empty when it refused it.
std::string FtpReply(HINTERNET connection, const std::string& command) {
  const std::wstring wide = platform::Widen(command);
  if (!FtpCommandW(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, wide.c_str(), 0, nullptr)) return {};
  wchar_t text[512];
  DWORD error = 0, length = 512;
  if (!InternetGetLastResponseInfoW(&error, text, &length)) return {};
  return platform::Narrow(std::wstring_view(text, std::min<DWORD>(length, 511)));
}

// The number after a "213 " answer (SIZE and MDTM); none for any other answer.
std::optional<int64_t> FtpNumber(const std::string& reply) {
  size_t start = reply.rfind("213 ");
  if (start == std::string::npos) return std::nullopt;
  start += 4;
  size_t end = start;
  while (end < reply.size() && std::isdigit(static_cast<unsigned char>(reply[end]))) ++end;
  if (end == start || end - start > 18) return std::nullopt;
  return std::stoll(reply.substr(start, end - start));
}

// The text that names one version of an FTP file: its size and modification time (SIZE, MDTM).
std::string FtpValidator(HINTERNET connection, const std::string& path) {
  const std::optional<int64_t> size = FtpNumber(FtpReply(connection, "SIZE " + path));
  const std::optional<int64_t> time = FtpNumber(FtpReply(connection, "MDTM " + path));
  if (!size || !time) return {};
  return std::to_string(*size) + " " + std::to_string(*time);
}

// The path of an FTP address, without its leading "/" (names are relative to the login folder).
std::string FtpPathOf(const Address& address) {
  const std::string encoded = platform::Narrow(address.path);
  std::string path;
  for (size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] == '%' && i + 2 < encoded.size() && std::isxdigit(static_cast<unsigned char>(encoded[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(encoded[i + 2]))) {
      path += static_cast<char>(std::stoi(encoded.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      path += encoded[i];
    }
  }
  return path.size() > 1 && path[0] == '/' ? path.substr(1) : path;
}

}  // namespace

bool InitTransferLibrary() { return true; }

CTransferSession::CTransferSession() = default;

CTransferSession::~CTransferSession() { Disconnect(); }

std::string CTransferSession::ServerAddress() const {
  int error = 0;
  const std::optional<Address> address =
      CrackAddress(protocol_ == kProtocolFtp ? FtpUrl("") : BuildTransferUrl(host_, "", "http"), error);
  return address ? address->server : std::string();
}

void CTransferSession::CloseFtpLocked() {
  delete static_cast<FtpConnection*>(ftpHandle_);
  ftpHandle_ = nullptr;
}

bool CTransferSession::Connect() {
  if (protocol_ != kProtocolFtp) return true;
  std::lock_guard lock(transferLock_);
  CloseFtpLocked();
  int error = 0;
  const std::optional<Address> address = CrackAddress(FtpUrl(""), error);
  if (!address) {
    SetFailure(TransferFailure::Internet(error));
    return false;
  }
  auto ftp = std::make_unique<FtpConnection>();
  const std::wstring agent = platform::Widen(agent_.empty() ? DefaultAgent() : agent_);
  ftp->root.handle = InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (ftp->root.handle == nullptr) {
    SetFailure(SessionFailure(transfer_error::kFtpConnectFailed));
    return false;
  }
  SetTimeouts(ftp->root.handle, connectTimeoutMs_, receiveTimeoutMs_);
  const std::wstring user = platform::Widen(userName_.empty() ? "anonymous" : userName_);
  const std::wstring password = platform::Widen(password_);
  // A refused connection is tried again, as many times as configured; anything else is final.
  DWORD failure = ERROR_INTERNET_CANNOT_CONNECT;
  for (int attempt = 0; attempt < std::max(1, connectRetries_) && failure == ERROR_INTERNET_CANNOT_CONNECT; ++attempt) {
    if (cancel_.load()) break;
    ftp->connection.handle = InternetConnectW(ftp->root.handle, address->host.c_str(), address->port, user.c_str(),
                                              password.c_str(), INTERNET_SERVICE_FTP,
                                              passive_ ? INTERNET_FLAG_PASSIVE : 0, 0);
    failure = ftp->connection.handle == nullptr ? GetLastError() : 0;
  }
  if (ftp->connection.handle == nullptr) {
    const int code = ErrorNumber(failure);
    SetFailure(code == transfer_error::kInternal ? SessionFailure(transfer_error::kFtpConnectFailed)
                                                 : TransferFailure::Internet(code, address->server));
    return false;
  }
  // SIZE is refused in ASCII mode, the one a connection starts in (a transfer sets its own type).
  FtpCommandW(ftp->connection.handle, FALSE, FTP_TRANSFER_TYPE_BINARY, L"TYPE I", 0, nullptr);
  ftpHandle_ = ftp.release();
  return true;
}

bool CTransferSession::Download(const std::string& remotePath, const std::string& localPath, const ResumePoint& resume,
                                const BodyStartHandler& onBodyStart) {
  std::lock_guard lock(transferLock_);
  if (cancel_.load()) return false;
  if (protocol_ == kProtocolFtp && ftpHandle_ == nullptr) return false;

  Transfer transfer;
  transfer.session = this;
  transfer.http = protocol_ != kProtocolFtp;
  transfer.toMemory = storageMode_.load() == kStorageMemory;
  transfer.localPath = platform::ResolvePath(localPath);
  transfer.expected = expectedSize_.load();
  transfer.rateLimit = rateLimit_;
  transfer.onBodyStart = &onBodyStart;
  transfer.stallMs = transfer.http ? httpStallTimeoutMs_ : receiveTimeoutMs_;
  if (!transfer.toMemory && resume.offset > 0 && !resume.validator.empty()) {
    transfer.keptBytes = resume.offset;
    transfer.resumeAsked = true;
  }
  if (transfer.toMemory) {
    std::lock_guard textLock(textLock_);
    textBody_.clear();
  }
  transfer.url = transfer.http ? BuildTransferUrl(host_, remotePath, "http") : FtpUrl(remotePath);
  int crackError = 0;
  const std::optional<Address> address = CrackAddress(transfer.url, crackError);
  if (!address) {
    SetFailure(TransferFailure::Internet(crackError));
    return false;
  }

  HttpExchange exchange;
  BlockingCalls calls;
  HINTERNET request = nullptr;
  std::optional<TransferFailure> carrierFailure;
  std::string server = address->server;  // the last one asked, after redirects
  auto failed = [&](DWORD error) { return TransferFailure::Internet(ErrorNumber(error), server); };
  SetTransferred(0);
  transfer.startTick = platform::TickCount();
  transfer.lastDataTick = transfer.startTick;

  if (transfer.http) {
    // Every transfer has a connection of its own, as with the other carrier: what a bad answer
    // left on a connection must not become the next answer.
    std::string headers = "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n";
    // The rest of the file, but only if it is still the version the kept bytes came from;
    // otherwise the server sends the whole file.
    if (transfer.resumeAsked)
      headers += "Range: bytes=" + std::to_string(resume.offset) + "-\r\nIf-Range: " + resume.validator + "\r\n";
    // The request in flight is the live one, which Disconnect closes under a blocked send or read.
    exchange.handOver = [this](HINTERNET next) {
      std::lock_guard live(liveLock_);
      HINTERNET previous = static_cast<HINTERNET>(liveHandle_);
      liveHandle_ = next;
      return previous;
    };
    HttpSettings settings = MakeHttpSettings(agent_, httpConnectTimeoutMs_, httpStallTimeoutMs_, userName_, password_);
    settings.stop = [&transfer] { return transfer.ShouldEnd(); };
    const int error = ExchangeHttp(exchange, calls, transfer.url, L"GET", headers, settings);
    server = exchange.server;
    transfer.url = exchange.url;
    request = exchange.request;
    if (error == kStoppedWaiting) {
      // transfer.stop tells why
    } else if (error != 0) {
      carrierFailure = TransferFailure::Internet(error, server);
    } else {
      transfer.status = exchange.status;
      transfer.etag = QueryText(request, HTTP_QUERY_ETAG);
      transfer.lastModified = QueryText(request, HTTP_QUERY_LAST_MODIFIED);
      transfer.contentRange = QueryText(request, HTTP_QUERY_CONTENT_RANGE);
      // An answer not to be stored ends before its body (an error page is not the file).
      if (transfer.status != 200 && !(transfer.status == 206 && transfer.resumeAsked)) transfer.stop = Transfer::Stop::BadStatus;
    }
  } else {
    auto* ftp = static_cast<FtpConnection*>(ftpHandle_);
    const std::string path = FtpPathOf(*address);
    // FTP has no If-Range: the file's size and time are asked first, and the transfer continues
    // with REST only when they are the kept bytes' own. Its validator is learnt either way.
    if (!transfer.toMemory) {
      transfer.validator = FtpValidator(ftp->connection.handle, path);
      transfer.continuing = transfer.resumeAsked && !transfer.validator.empty() && transfer.validator == resume.validator;
    }
    bool restarted = true;
    if (transfer.continuing) {
      const std::wstring rest = L"REST " + std::to_wstring(resume.offset);
      restarted = FtpCommandW(ftp->connection.handle, FALSE, FTP_TRANSFER_TYPE_BINARY, rest.c_str(), 0, nullptr);
      if (!restarted) transfer.continuing = false;
    }
    request = FtpOpenFileW(ftp->connection.handle, platform::Widen(path).c_str(), GENERIC_READ,
                           FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0);
    if (request == nullptr) {
      const DWORD error = GetLastError();
      carrierFailure = error == ERROR_INTERNET_EXTENDED_ERROR ? SessionFailure(transfer_error::kFtpRemoteFileFailed)
                                                              : failed(error);
    } else {
      std::lock_guard live(liveLock_);
      liveHandle_ = request;
    }
  }

  // The body, block by block, until it ends or a rule stops it.
  if (request != nullptr && !carrierFailure && transfer.stop == Transfer::Stop::None) {
    // The block a read fills; a read the transfer stopped waiting for keeps its own.
    struct Block {
      std::string bytes = std::string(kReadBytes, '\0');
      DWORD got = 0;
    };
    auto block = std::make_shared<Block>();
    // The body ends at its announced length, whatever else the server sends after it.
    // (-1: none announced)
    const int64_t length = transfer.http ? QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH).value_or(-1) : -1;
    int64_t answered = 0;
    for (;;) {
      const DWORD wanted = length >= 0 ? static_cast<DWORD>(std::min<int64_t>(kReadBytes, length - answered)) : kReadBytes;
      if (wanted == 0) break;
      // A read waits until it has all it asked for: over HTTP it asks only for what has arrived
      // (an FTP read gives what has arrived by itself).
      const bool http = transfer.http;
      const std::optional<DWORD> read = calls.Make(
          [request, block, wanted, http] {
            DWORD asked = wanted;
            block->got = 0;
            if (http) {
              if (!InternetQueryDataAvailable(request, &asked, 0, 0)) return GetLastError();
              if (asked == 0) return static_cast<DWORD>(ERROR_SUCCESS);  // the end of the body
              asked = std::min(asked, wanted);
            }
            return InternetReadFile(request, block->bytes.data(), asked, &block->got) ? ERROR_SUCCESS : GetLastError();
          },
          [&transfer] { return transfer.ShouldEnd(); });
      if (!read) break;  // transfer.stop tells why
      if (*read != ERROR_SUCCESS) {
        if (!transfer.ShouldEnd()) {
          if (*read == ERROR_INTERNET_TIMEOUT) transfer.stop = Transfer::Stop::Stalled;
          else carrierFailure = failed(*read);
        }
        break;
      }
      const DWORD got = block->got;
      if (got == 0) {
        // A body shorter than its announced length: the connection ended early.
        if (answered < length) carrierFailure = failed(ERROR_INTERNET_CONNECTION_ABORTED);
        break;
      }
      answered += got;
      if (!transfer.TakeBlock(block->bytes.data(), got)) break;
    }
  }
  {
    std::lock_guard live(liveLock_);
    if (liveHandle_ != nullptr) InternetCloseHandle(liveHandle_);
    liveHandle_ = nullptr;
  }
  const bool ok = FinishTransfer(transfer, carrierFailure, server);
  if (!transfer.http && transfer.stop == Transfer::Stop::Cancel) CloseFtpLocked();
  return ok;
}

bool CTransferSession::Disconnect() {
  closing_.fetch_add(1);
  {
    // A transfer blocked in a read ends when its request is closed under it.
    std::lock_guard live(liveLock_);
    if (liveHandle_ != nullptr) InternetCloseHandle(liveHandle_);
    liveHandle_ = nullptr;
  }
  {
    std::lock_guard lock(transferLock_);
    CloseFtpLocked();
  }
  closing_.fetch_sub(1);
  return true;
}

std::optional<int64_t> CTransferSession::HttpSizeOf(const std::string& remotePath, bool headOnly, TransferFailure& why) {
  why = {};
  HttpExchange exchange;
  BlockingCalls calls;
  // No monitor watches a size query: it is held to the monitor's no-progress rule here.
  HttpSettings settings = MakeHttpSettings(agent_, httpConnectTimeoutMs_,
                                           std::min(httpStallTimeoutMs_, CTransferStats::kStallPeriodMs), userName_, password_);
  const uint32_t startTick = platform::TickCount();
  bool stalled = false;
  settings.stop = [&] {
    stalled = settings.stallMs > 0 && platform::TickCount() - startTick > settings.stallMs;
    return stalled || cancel_.load() || closing_.load() > 0;
  };
  const int error = ExchangeHttp(exchange, calls, BuildTransferUrl(host_, remotePath, "http"), headOnly ? L"HEAD" : L"GET",
                                 "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n", settings);
  if (error == kStoppedWaiting) {
    why = TransferFailure::Internet(stalled ? transfer_error::kTimeout : transfer_error::kOperationCancelled,
                                    exchange.server);
    return std::nullopt;
  }
  if (error != 0) {
    why = TransferFailure::Internet(error, exchange.server);
    return std::nullopt;
  }
  // The headers tell what is wanted; a GET's body is left unread.
  const std::optional<int64_t> length = QueryNumber(exchange.request, HTTP_QUERY_CONTENT_LENGTH);
  if (exchange.status != 200) {
    why = TransferFailure::Http(static_cast<int>(exchange.status), exchange.server);
  } else if (!length) {
    why = TransferFailure::Internet(transfer_error::kInvalidServerResponse, exchange.server);
  } else {
    return length;
  }
  return std::nullopt;
}

std::optional<int64_t> CTransferSession::FtpSizeOf(const std::string& remotePath, TransferFailure& why) {
  why = {};
  int crackError = 0;
  const std::optional<Address> address = CrackAddress(FtpUrl(remotePath), crackError);
  if (!address) {
    why = TransferFailure::Internet(crackError);
    return std::nullopt;
  }
  const std::optional<int64_t> size =
      FtpNumber(FtpReply(static_cast<FtpConnection*>(ftpHandle_)->connection.handle, "SIZE " + FtpPathOf(*address)));
  if (!size) why = SessionFailure(transfer_error::kFtpRemoteFileFailed);
  return size;
}
