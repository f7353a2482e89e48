#pragma once
// The rules every transfer follows whichever library carries it (libcurl on Linux, WinINet on
// Windows): the pieces the body is counted, limited and cancelled in, the expected size and the
// memory cap, the stall, the local file, and which answers may continue kept bytes. Only the
// transfer session's own sources include this.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "download/TransferSession.h"
#include "download/TransferUrl.h"
#include "platform/AsciiText.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace transfer_rules {

// Callers see the body arrive in pieces of at most kPieceBytes: the byte counter, the cancel test
// and the rate limit go piece by piece. The library is still allowed to hand over larger blocks,
// and the local file is written in large blocks: per-piece system calls cost most of the
// throughput on a fast link.
inline constexpr size_t kPieceBytes = 10240;
inline constexpr size_t kFileBufferBytes = 1024 * 1024;
inline constexpr uint32_t kRateWaitSliceMs = 50;

// "bytes <first>-<last>/<total>"; none when the range is not that (a "*" total included).
struct ContentRange {
  int64_t first = 0, last = 0, total = 0;
};
inline std::optional<ContentRange> ParseContentRange(std::string_view text) {
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

inline bool IsHttps(std::string_view url) { return platform::AsciiLowered(std::string(url.substr(0, 8))) == "https://"; }

// The scheme of an absolute address ("http" of "http://..."), lower case; empty for a relative one.
inline std::string SchemeOf(std::string_view location) {
  const size_t mark = location.find("://");
  if (mark == std::string_view::npos || !HostHasScheme(location)) return {};
  return platform::AsciiLowered(std::string(location.substr(0, mark)));
}

// A redirect may not leave https for http, nor http and https for another scheme; a relative
// location keeps its scheme. Whether the one from `from` to `location` may be followed.
enum class RedirectVerdict { Follow, Lowered, Elsewhere };
inline RedirectVerdict JudgeRedirect(std::string_view from, std::string_view location) {
  const std::string scheme = SchemeOf(location);
  if (scheme.empty() || scheme == "https" || (scheme == "http" && !IsHttps(from))) return RedirectVerdict::Follow;
  return scheme == "http" ? RedirectVerdict::Lowered : RedirectVerdict::Elsewhere;
}

}  // namespace transfer_rules

// The state of one running transfer, shared with the library's callbacks.
struct CTransferSession::Transfer {
  enum class Stop {
    None, Cancel, Closing, Stalled, BadStatus, BadRange, Overrun, MemoryFull, CreateFailed, WriteFailed, SizeKnown,
    RedirectLowered, RedirectElsewhere
  };

  CTransferSession* session = nullptr;
  void* handle = nullptr;  // the carrier's own handle of this transfer
  std::string url;  // as requested
  bool http = true;
  bool sizeOnly = false;
  bool toMemory = false;
  std::string localPath;
  std::unique_ptr<char[]> fileBuffer;  // outlives `file`, which ~Transfer closes first
  std::FILE* file = nullptr;
  int64_t fileBytes = 0;  // the file's length as written so far, kept bytes included
  std::string body;
  int64_t expected = 0;
  int64_t received = 0;
  double rateLimit = 0.0;
  uint32_t startTick = 0;
  uint32_t stallMs = 0;       // no byte for this long ends the transfer; 0 = no limit
  uint32_t lastDataTick = 0;
  Stop stop = Stop::None;
  long status = 0;  // HTTP: the answer's status, set by the carrier before the body begins
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

  // False when the buffered tail of the file could not be written. Wine on a full disk reports
  // such a write as done though it stored nothing: the file's length tells.
  bool CloseFile() {
    if (file == nullptr) return true;
    errno = 0;
    bool written = std::fclose(file) == 0;
    if (!written && writeErrno == 0) writeErrno = errno;
    file = nullptr;
    if (written && platform::FileSizeOf(localPath) != fileBytes) {
      written = false;
      if (writeErrno == 0) writeErrno = ENOSPC;
    }
    return written;
  }

  bool CreateFile() {
    file = platform::OpenFile(localPath, continuing ? "r+b" : "wb");
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
    if (!fileBuffer) fileBuffer = std::make_unique<char[]>(transfer_rules::kFileBufferBytes);
    std::setvbuf(file, fileBuffer.get(), _IOFBF, transfer_rules::kFileBufferBytes);
    fileBytes = continuing ? keptBytes : 0;
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
    fileBytes += static_cast<int64_t>(bytes);
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
      const auto slice = static_cast<uint32_t>(std::min<int64_t>(wait, transfer_rules::kRateWaitSliceMs));
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
    const std::optional<transfer_rules::ContentRange> range = transfer_rules::ParseContentRange(contentRange);
    return range && range->first == keptBytes && range->last == range->total - 1 &&
           (expected <= 0 || range->total == expected);
  }

  // Whether the redirect to `location` may be followed (see JudgeRedirect); over FTP there are none.
  bool AcceptsRedirect(std::string_view location) {
    const transfer_rules::RedirectVerdict verdict = transfer_rules::JudgeRedirect(url, location);
    if (verdict == transfer_rules::RedirectVerdict::Follow) return true;
    stop = verdict == transfer_rules::RedirectVerdict::Lowered ? Stop::RedirectLowered : Stop::RedirectElsewhere;
    return false;
  }

  // A block of the body as the carrier hands it over, taken piece by piece. False when the
  // transfer must end.
  bool TakeBlock(const char* data, size_t bytes) {
    if (ShouldStop()) return false;
    if (!bodyBegun && !BeginBody()) return false;
    for (size_t offset = 0; offset < bytes; offset += transfer_rules::kPieceBytes) {
      if (offset > 0 && ShouldStop()) return false;
      if (!TakePiece(data + offset, std::min(transfer_rules::kPieceBytes, bytes - offset))) return false;
    }
    lastDataTick = platform::TickCount();  // a wait for the rate limit is no stall
    return true;
  }

  // Asked at least about once a second, also while nothing arrives: true when the transfer must
  // end (cancelled, closing, or no byte for longer than the stall time).
  bool ShouldEnd() {
    if (ShouldStop()) return true;
    if (stallMs > 0 && platform::TickCount() - lastDataTick > stallMs) {
      stop = Stop::Stalled;
      return true;
    }
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
