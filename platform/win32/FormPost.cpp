#include "platform/FormPost.h"

#include "platform/win32/WideText.h"  // windows.h first

#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/FileSystem.h"
#include "platform/Path.h"

namespace platform {

namespace {

constexpr DWORD kConnectTimeoutMs = 15000;
constexpr DWORD kStallTimeoutMs = 30000;
constexpr size_t kPieceBytes = 64 * 1024;

class Internet {
 public:
  explicit Internet(HINTERNET handle) : handle_(handle) {}
  ~Internet() {
    if (handle_) InternetCloseHandle(handle_);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
  HINTERNET Get() const { return handle_; }

 private:
  HINTERNET handle_;
};

struct Cracked {
  INTERNET_SCHEME scheme = INTERNET_SCHEME_UNKNOWN;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring path;  // with the query
};

std::optional<Cracked> Crack(const std::string& url) {
  const std::wstring wide = Widen(url);
  wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  wchar_t path[INTERNET_MAX_PATH_LENGTH + 1] = {};
  wchar_t extra[INTERNET_MAX_PATH_LENGTH + 1] = {};
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = INTERNET_MAX_PATH_LENGTH;
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = INTERNET_MAX_PATH_LENGTH;
  if (!InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) return std::nullopt;
  if ((parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) || host[0] == L'\0')
    return std::nullopt;
  Cracked cracked{parts.nScheme, host, parts.nPort, std::wstring(path) + extra};
  if (cracked.path.empty()) cracked.path = L"/";
  return cracked;
}

std::string ErrorText(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT: return "the server cannot be reached";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "the server's name is unknown";
    case ERROR_INTERNET_TIMEOUT: return "the server did not answer in time";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET: return "the connection was broken off";
    default: return "the transfer failed (error " + std::to_string(error) + ")";
  }
}

// A quoted value of a part's header: quotes and line breaks would end it early.
std::string Quoted(const std::string& text) {
  std::string quoted;
  for (char c : text)
    if (c != '"' && c != '\r' && c != '\n') quoted += c;
  return "\"" + quoted + "\"";
}

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::FILE* file = OpenFile(path, "rb");
  if (!file) return false;
  char piece[kPieceBytes];
  size_t read = 0;
  while ((read = std::fread(piece, 1, sizeof(piece), file)) > 0) bytes.append(piece, read);
  const bool whole = !std::ferror(file);
  std::fclose(file);
  return whole;
}

}  // namespace

std::optional<AddressOrigin> OriginOf(const std::string& url) {
  const std::optional<Cracked> cracked = Crack(url);
  if (!cracked) return std::nullopt;
  return AddressOrigin{cracked->scheme == INTERNET_SCHEME_HTTPS ? "https" : "http", Narrow(cracked->host)};
}

FormPostOutcome PostForm(const std::string& url, const std::vector<FormField>& fields, const std::string& agent,
                         const std::function<void(int64_t sent, int64_t total)>& progress) {
  FormPostOutcome outcome;
  const std::optional<Cracked> address = Crack(url);
  if (!address) return {false, 0, true, "the address is not an http or https address"};

  std::vector<std::pair<std::string, std::string>> parts;  // headers, value
  for (const FormField& field : fields) {
    std::string headers = "Content-Disposition: form-data; name=" + Quoted(field.name);
    std::string value = field.text;
    if (!field.filePath.empty()) {
      value.clear();
      if (!ReadWhole(field.filePath, value)) return {false, 0, true, field.filePath + " cannot be read"};
      headers += "; filename=" + Quoted(FileNameOf(field.filePath)) + "\r\nContent-Type: application/octet-stream";
    }
    parts.emplace_back(std::move(headers), std::move(value));
  }
  // The boundary is a text that no part holds.
  std::string boundary = "SolaneFormBoundary" + std::to_string(GetTickCount64());
  for (const auto& part : parts)
    while (part.second.find(boundary) != std::string::npos) boundary += "x";
  std::string body;
  for (const auto& [headers, value] : parts) body += "--" + boundary + "\r\n" + headers + "\r\n\r\n" + value + "\r\n";
  body += "--" + boundary + "--\r\n";

  Internet root(InternetOpenW(Widen(agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!root.Get()) return {false, 0, false, ErrorText(GetLastError())};
  const DWORD connectTimeout = kConnectTimeoutMs, stallTimeout = kStallTimeoutMs;
  InternetSetOptionW(root.Get(), INTERNET_OPTION_CONNECT_TIMEOUT, const_cast<DWORD*>(&connectTimeout), sizeof(DWORD));
  InternetSetOptionW(root.Get(), INTERNET_OPTION_SEND_TIMEOUT, const_cast<DWORD*>(&stallTimeout), sizeof(DWORD));
  InternetSetOptionW(root.Get(), INTERNET_OPTION_RECEIVE_TIMEOUT, const_cast<DWORD*>(&stallTimeout), sizeof(DWORD));
  Internet connection(InternetConnectW(root.Get(), address->host.c_str(), address->port, nullptr, nullptr,
                                       INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection.Get()) return {false, 0, false, ErrorText(GetLastError())};
  // A redirect is an answer like any other, as on Linux: a report never follows one, which could
  // lead it from https to http (Wine's WinINet follows such a redirect).
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (address->scheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  Internet request(HttpOpenRequestW(connection.Get(), L"POST", address->path.c_str(), nullptr, nullptr, nullptr, flags, 0));
  if (!request.Get()) return {false, 0, false, ErrorText(GetLastError())};

  const std::wstring headers = Widen("Content-Type: multipart/form-data; boundary=" + boundary + "\r\n");
  INTERNET_BUFFERSW buffers{};
  buffers.dwStructSize = sizeof(buffers);
  buffers.lpcszHeader = headers.c_str();
  buffers.dwHeadersLength = static_cast<DWORD>(headers.size());
  buffers.dwBufferTotal = static_cast<DWORD>(body.size());
  if (!HttpSendRequestExW(request.Get(), &buffers, nullptr, 0, 0)) return {false, 0, false, ErrorText(GetLastError())};
  const int64_t total = static_cast<int64_t>(body.size());
  for (size_t at = 0; at < body.size();) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min(kPieceBytes, body.size() - at));
    if (!InternetWriteFile(request.Get(), body.data() + at, piece, &written) || written == 0)
      return {false, 0, false, ErrorText(GetLastError())};
    at += written;
    if (progress) progress(static_cast<int64_t>(at), total);
  }
  if (!HttpEndRequestW(request.Get(), nullptr, 0, 0)) return {false, 0, false, ErrorText(GetLastError())};
  DWORD status = 0, size = sizeof(status);
  if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
    return {false, 0, false, ErrorText(GetLastError())};
  outcome.status = static_cast<int>(status);
  outcome.sent = status >= 200 && status < 300;
  if (!outcome.sent) outcome.reason = "the server answered " + std::to_string(status);
  return outcome;
}

}  // namespace platform
