// SolaneError.exe, the error reporter: a crashed launcher starts it in its folder with
//
//   /SolaneError-VANTIK:<report path> /INFO:<.ERR file> /DMP:<.DMP file> /
//
// and it sends the two files, with the report path, as one multipart POST to the crash
// collection address (SolaneLauncher.CFG's CrashReportUrl, else the built-in one). The fields
// are described in the README. Exit code 0 when the server took the report, 1 when it did not,
// 2 when the command line or the files are not usable.

#ifdef _WIN32
#include "platform/FormPost.h"  // WinINet
#else
#include <curl/curl.h>
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/CommandLine.h"
#include "patch/VersionNoteDefine.h"
#include "platform/TerminalInput.h"
#include "platform/FileSystem.h"
#include "platform/ProfileFile.h"
#include "platform/ProgramArguments.h"

SOLANE_DEFINE_VERSION_NOTE(1, 0, 0, 0);

namespace {

constexpr const char* kDefaultCrashReportUrl = "https://crash.solane.example/report";
constexpr const char* kConfigFile = "SolaneLauncher.CFG";
constexpr int kAttempts = 3;
constexpr auto kFirstRetryDelay = std::chrono::seconds(2);

struct Report {
  std::string path;  // "SolaneLauncher/<version>/<date>/<time>"
  std::string info;  // the .ERR file
  std::string dump;  // the .DMP file
};

// Only names of files in the working folder: the command line cannot point elsewhere.
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\") == std::string::npos;
}

std::optional<Report> ReadCommandLine(int argc, char** argv) {
  std::string line;
  for (const std::string& argument : platform::ProgramArguments(argc, argv)) line += (line.empty() ? "" : " ") + argument;
  CCommandLine switches;
  switches.Parse(line);
  Report report{switches.GetOrEmpty("/SolaneError-VANTIK:"), switches.GetOrEmpty("/INFO:"),
                switches.GetOrEmpty("/DMP:")};
  if (report.path.empty() || !IsPlainFileName(report.info) || !IsPlainFileName(report.dump)) return std::nullopt;
  return report;
}

bool IsLoopbackHost(const std::string& host) {
  if (host == "localhost" || host == "[::1]" || host == "::1") return true;
  // The library writes every IPv4 form in dotted decimal.
  return host.rfind("127.", 0) == 0 && host.find_first_not_of("0123456789.") == std::string::npos;
}

// A dump holds the server profile's password and the web sign-in: it travels only over https,
// or over plain http to this machine itself (a test's server).
bool MaySendTo(const std::string& scheme, const std::string& host) {
  return scheme == "https" || (scheme == "http" && IsLoopbackHost(host));
}

struct Outcome {
  bool sent = false;
  bool worthRetrying = false;
  std::string reason;
};

// The progress line: redrawn in place on a terminal, a line per tenth otherwise.
struct Progress {
  bool terminal = platform::IsTerminal(1);  // standard output
  std::chrono::steady_clock::time_point lastDrawn{};
  int lastTenth = -1;
};

void ShowProgress(Progress& progress, int64_t sent, int64_t total) {
  if (total <= 0) return;
  const int percent = static_cast<int>(sent * 100 / total);
  const auto now = std::chrono::steady_clock::now();
  if (progress.terminal && (now - progress.lastDrawn > std::chrono::milliseconds(100) || sent == total)) {
    std::printf("\rSending: %3d%% (%lld of %lld bytes)", percent, static_cast<long long>(sent),
                static_cast<long long>(total));
    std::fflush(stdout);
    progress.lastDrawn = now;
  } else if (!progress.terminal && percent / 10 > progress.lastTenth) {
    std::printf("Sending: %3d%% (%lld of %lld bytes)\n", percent, static_cast<long long>(sent),
                static_cast<long long>(total));
    progress.lastTenth = percent / 10;
  }
}

#ifdef _WIN32

// The scheme the URL may use, or empty when it must not be sent there at all.
std::string AllowedScheme(const std::string& url) {
  const std::optional<platform::AddressOrigin> origin = platform::OriginOf(url);
  return origin && MaySendTo(origin->scheme, origin->host) ? origin->scheme : std::string();
}

Outcome Upload(const std::string& url, const std::string&, const Report& report) {
  Progress progress;
  const platform::FormPostOutcome posted = platform::PostForm(
      url, {{"report", report.path, ""}, {"info", "", report.info}, {"dump", "", report.dump}}, "SolaneError/1.0",
      [&progress](int64_t sent, int64_t total) { ShowProgress(progress, sent, total); });
  if (progress.terminal) std::printf("\n");
  if (posted.sent) return {true, false, {}};
  // The server's own trouble may pass; a refusal of the report will not.
  const bool worthRetrying = posted.status == 0 ? !posted.unusable
                                                : posted.status >= 500 || posted.status == 408 || posted.status == 429;
  return {false, worthRetrying, posted.reason};
}

#else

// The scheme the URL may use, or empty when it must not be sent there at all.
std::string AllowedScheme(const std::string& url) {
  CURLU* parsed = curl_url();
  char* scheme = nullptr;
  char* host = nullptr;
  std::string allowed;
  if (parsed && curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
    if (MaySendTo(scheme, host)) allowed = scheme;
  }
  curl_free(scheme);
  curl_free(host);
  curl_url_cleanup(parsed);
  return allowed;
}

int OnProgress(void* context, curl_off_t, curl_off_t, curl_off_t total, curl_off_t sent) {
  ShowProgress(*static_cast<Progress*>(context), sent, total);
  return 0;
}

bool AddFilePart(curl_mime* form, const char* field, const std::string& file) {
  curl_mimepart* part = curl_mime_addpart(form);
  return part && curl_mime_name(part, field) == CURLE_OK && curl_mime_filedata(part, file.c_str()) == CURLE_OK &&
         curl_mime_type(part, "application/octet-stream") == CURLE_OK;
}

Outcome Upload(const std::string& url, const std::string& scheme, const Report& report) {
  CURL* curl = curl_easy_init();
  if (!curl) return {false, true, "the transfer library could not start"};
  curl_mime* form = curl_mime_init(curl);
  curl_mimepart* pathPart = form ? curl_mime_addpart(form) : nullptr;
  const bool formReady = pathPart && curl_mime_name(pathPart, "report") == CURLE_OK &&
                         curl_mime_data(pathPart, report.path.c_str(), CURL_ZERO_TERMINATED) == CURLE_OK &&
                         AddFilePart(form, "info", report.info) && AddFilePart(form, "dump", report.dump);
  Outcome outcome;
  if (!formReady) {
    outcome = {false, false, "the report could not be put together"};
  } else {
    Progress progress;
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, scheme.c_str());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, form);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
    // A connection that carries nothing for half a minute is given up.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "SolaneError/1.0");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &progress);
    const CURLcode result = curl_easy_perform(curl);
    if (progress.terminal) std::printf("\n");
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK) {
      const bool unusable = result == CURLE_URL_MALFORMAT || result == CURLE_UNSUPPORTED_PROTOCOL ||
                            result == CURLE_READ_ERROR;
      outcome = {false, !unusable, error[0] ? error : curl_easy_strerror(result)};
    } else if (status < 200 || status >= 300) {
      // The server's own trouble may pass; a refusal of the report will not.
      outcome = {false, status >= 500 || status == 408 || status == 429, "the server answered " + std::to_string(status)};
    } else {
      outcome = {true, false, {}};
    }
  }
  curl_mime_free(form);
  curl_easy_cleanup(curl);
  return outcome;
}

#endif

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Report> report = ReadCommandLine(argc, argv);
  if (!report) {
    std::fprintf(stderr,
                 "SolaneError sends a crash report of SolaneLauncher. Usage:\n"
                 "  SolaneError /SolaneError-VANTIK:<report path> /INFO:<file> /DMP:<file> /\n"
                 "with both files in the working folder, named without folders.\n");
    return 2;
  }
  for (const std::string& file : {report->info, report->dump}) {
    if (!platform::FileSizeOf(file)) {
      std::fprintf(stderr, "SolaneError: %s is not in this folder.\n", file.c_str());
      return 2;
    }
  }
#ifndef _WIN32
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;
#endif
  const std::string url = platform::GetProfileString(kConfigFile, kConfigFile, "CrashReportUrl", kDefaultCrashReportUrl);
  const std::string scheme = AllowedScheme(url);
  if (scheme.empty()) {
    std::fprintf(stderr, "SolaneError: crash reports are sent only over https (plain http only to this machine), not to %s.\n",
                 url.c_str());
#ifndef _WIN32
    curl_global_cleanup();
#endif
    return 2;
  }
  std::printf("Sending the crash report %s to %s:\n  %s (%lld bytes)\n  %s (%lld bytes)\n", report->path.c_str(),
              url.c_str(), report->info.c_str(), static_cast<long long>(*platform::FileSizeOf(report->info)),
              report->dump.c_str(), static_cast<long long>(*platform::FileSizeOf(report->dump)));
  std::fflush(stdout);

  int result = 1;
  auto delay = kFirstRetryDelay;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    const Outcome outcome = Upload(url, scheme, *report);
    if (outcome.sent) {
      std::printf("The crash report was sent. Thank you.\n");
      result = 0;
      break;
    }
    std::printf("Sending failed: %s.\n", outcome.reason.c_str());
    if (!outcome.worthRetrying || attempt == kAttempts) break;
    std::printf("Trying again in %lld seconds.\n", static_cast<long long>(delay.count()));
    std::fflush(stdout);
    std::this_thread::sleep_for(delay);
    delay *= 2;
  }
  std::fflush(stdout);
#ifndef _WIN32
  curl_global_cleanup();
#endif
  return result;
}
