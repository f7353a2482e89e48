#include "servers/ServerFile.h"

#include <algorithm>

#include "platform/Path.h"
#include "platform/ProfileFile.h"
#include "platform/ProfileText.h"
#include "platform/StoreFile.h"

namespace {

constexpr size_t kMarkerOffset = 260;
constexpr size_t kCountOffset = 264;
constexpr size_t kIpOffset = 260;
constexpr size_t kLabelOffset = 520;

void PutText(std::vector<uint8_t>& block, size_t offset, const std::string& text) {
  const size_t length = std::min(text.size(), LoginServerEntry::kMaxTextLength);
  std::copy_n(text.begin(), length, block.begin() + static_cast<std::ptrdiff_t>(offset));
}

// Without a terminator in its field a text stops one byte short, where the NUL belongs.
std::string GetText(const std::vector<uint8_t>& block, size_t offset) {
  const auto begin = block.begin() + static_cast<std::ptrdiff_t>(offset);
  const auto limit = begin + static_cast<std::ptrdiff_t>(LoginServerEntry::kMaxTextLength);
  return std::string(begin, std::find(begin, limit, uint8_t{0}));
}

void PutInt32(std::vector<uint8_t>& block, size_t offset, int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) block[offset + i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t GetInt32(const std::vector<uint8_t>& block, size_t offset) {
  uint32_t bits = 0;
  for (size_t i = 0; i < 4; ++i) bits |= uint32_t{block[offset + i]} << (8 * i);
  return static_cast<int32_t>(bits);
}

std::string RecordKey(size_t number) { return std::to_string(number) + "_Server"; }

std::optional<std::vector<uint8_t>> FindBlock(std::string_view text, std::string_view key, size_t size) {
  std::optional<std::string> value = platform::FindProfileValue(text, kServerFileSection, key);
  if (!value) return std::nullopt;
  return platform::DecodeProfileStruct(*value, size);
}

}  // namespace

std::vector<uint8_t> EncodeServerHeader(const ServerFileHeader& header) {
  std::vector<uint8_t> block(kServerHeaderSize, 0);
  PutText(block, 0, header.selectedLabel);
  PutInt32(block, kMarkerOffset, header.marker);
  PutInt32(block, kCountOffset, header.count);
  return block;
}

std::vector<uint8_t> EncodeServerRecord(const LoginServerEntry& entry) {
  std::vector<uint8_t> block(kServerRecordSize, 0);
  PutText(block, 0, entry.name);
  PutText(block, kIpOffset, entry.ip);
  PutText(block, kLabelOffset, entry.label);
  return block;
}

std::optional<ServerFileHeader> DecodeServerHeader(const std::vector<uint8_t>& block) {
  if (block.size() != kServerHeaderSize) return std::nullopt;
  return ServerFileHeader{GetText(block, 0), GetInt32(block, kMarkerOffset), GetInt32(block, kCountOffset)};
}

std::optional<LoginServerEntry> DecodeServerRecord(const std::vector<uint8_t>& block) {
  if (block.size() != kServerRecordSize) return std::nullopt;
  LoginServerEntry entry;
  entry.name = GetText(block, 0);
  entry.ip = GetText(block, kIpOffset);
  entry.label = GetText(block, kLabelOffset);
  return entry;
}

std::optional<std::vector<LoginServerEntry>> ParseServerFile(std::string_view text) {
  std::optional<std::vector<uint8_t>> headerBlock = FindBlock(text, kServerHeaderKey, kServerHeaderSize);
  if (!headerBlock) return std::nullopt;
  const ServerFileHeader header = *DecodeServerHeader(*headerBlock);
  if (header.marker != kServerFileMarker || header.count < 1) return std::nullopt;

  // Every entry needs a line of its own, so a count beyond the number of lines cannot be met;
  // without this bound a damaged count would mean billions of look-ups (and a huge reservation).
  const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  const size_t count = std::min(static_cast<size_t>(header.count), lines);
  std::vector<LoginServerEntry> entries;
  entries.reserve(count);
  for (size_t number = 1; number <= count; ++number) {
    std::optional<std::vector<uint8_t>> block = FindBlock(text, RecordKey(number), kServerRecordSize);
    if (!block) continue;
    LoginServerEntry entry = *DecodeServerRecord(*block);
    // An all-zero label means "nothing selected"; it must not select entries without a label.
    entry.selected = !header.selectedLabel.empty() && entry.label == header.selectedLabel ? 1 : 0;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string ComposeServerFile(const std::vector<LoginServerEntry>& entries) {
  ServerFileHeader header;
  header.count = static_cast<int32_t>(std::min<size_t>(entries.size(), INT32_MAX));
  std::string text;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::vector<uint8_t> block = EncodeServerRecord(entries[i]);
    text = platform::SetProfileValue(text, kServerFileSection, RecordKey(i + 1),
                                     platform::EncodeProfileStruct(block.data(), block.size()));
    if (entries[i].selected == 1) header.selectedLabel = entries[i].label;
  }
  const std::vector<uint8_t> block = EncodeServerHeader(header);
  return platform::SetProfileValue(text, kServerFileSection, kServerHeaderKey,
                                   platform::EncodeProfileStruct(block.data(), block.size()));
}

std::optional<std::vector<LoginServerEntry>> ReadServerFile(const std::string& path) {
  std::string text;
  if (platform::ReadWholeFile(platform::ResolvePath(path), text) != platform::FileReadStatus::Ok) return std::nullopt;
  return ParseServerFile(text);
}

bool WriteServerFile(const std::string& path, const std::vector<LoginServerEntry>& entries) {
  return platform::ReplaceFileContents(platform::ResolvePath(path), ComposeServerFile(entries));
}
