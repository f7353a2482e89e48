#pragma once
// SERVER.DAT, the login server list and the player's last choice kept beside the launcher
// between runs: a profile file with one section "SERVER.DAT" whose values are checksummed hex
// blocks (platform/ProfileFile.h). Key "Server" holds the header, keys "1_Server", "2_Server" ...
// one entry each, in list order.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "servers/LoginServerEntry.h"

inline constexpr size_t kServerTextFieldSize = 260;
inline constexpr size_t kServerHeaderSize = 268;  // selectedLabel[260], marker, count
inline constexpr size_t kServerRecordSize = 780;  // name[260], ip[260], label[260]
inline constexpr int32_t kServerFileMarker = 100;
inline constexpr std::string_view kServerFileSection = "SERVER.DAT";
inline constexpr std::string_view kServerHeaderKey = "Server";

struct ServerFileHeader {
  std::string selectedLabel;  // empty when no entry is selected
  int32_t marker = kServerFileMarker;
  int32_t count = 0;
};

// The fixed-size blocks. Texts longer than LoginServerEntry::kMaxTextLength are cut; the bytes
// after a text's terminator are zero. Integers are 32-bit little-endian.
std::vector<uint8_t> EncodeServerHeader(const ServerFileHeader& header);
std::vector<uint8_t> EncodeServerRecord(const LoginServerEntry& entry);

// The decoded blocks; none unless the block has exactly the block's size. A text ends at its
// first NUL, or after kMaxTextLength characters when its field holds none. A record comes back
// with `selected` and `latencyMs` 0.
std::optional<ServerFileHeader> DecodeServerHeader(const std::vector<uint8_t>& block);
std::optional<LoginServerEntry> DecodeServerRecord(const std::vector<uint8_t>& block);

// The entries stored in the text of a SERVER.DAT. None when the header is missing, damaged, has
// another marker than 100 or a count below 1. An entry that cannot be read is skipped. Every
// entry whose label equals the header's (non-empty) selected label comes back selected.
std::optional<std::vector<LoginServerEntry>> ParseServerFile(std::string_view text);

// The text of a SERVER.DAT holding `entries` in order; the label of the last selected entry
// becomes the header's selected label.
std::string ComposeServerFile(const std::vector<LoginServerEntry>& entries);

// ParseServerFile on the file at `path`; none when the file cannot be read.
std::optional<std::vector<LoginServerEntry>> ReadServerFile(const std::string& path);

// Replaces the file at `path` by ComposeServerFile(entries) in one step: a crash leaves the old
// file or the new one, never a mixture. False when it cannot be written (the old file stays).
bool WriteServerFile(const std::string& path, const std::vector<LoginServerEntry>& entries);
