#include "patch/UpdateInfo.h"

#include <algorithm>
#include <climits>

#include "platform/Path.h"
#include "platform/TextEncoding.h"

namespace {

// How many lines are parsed between two polls of the cancel predicate.
constexpr size_t kLinesPerCancelPoll = 256;

std::string WithoutTabs(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text)
    if (c != '\t') result += c;
  return result;
}

std::string CompoundKey(std::string_view section, std::string_view key) {
  std::string compound;
  compound.reserve(section.size() + key.size());
  compound.append(section).append(key);
  return compound;
}

// Applies one line to the table; `section` is the current section name.
template <typename Table>
void ParseLine(std::string_view line, std::string& section, Table& table) {
  if (line.empty()) return;
  size_t comment = line.find(';');
  if (comment == 0) return;
  if (comment != std::string_view::npos) line = line.substr(0, comment);

  if (line.front() == '[') {
    // The last character goes whatever it is: a missing "]" costs the name its last letter.
    section.assign(line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string_view());
    return;
  }
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) return;
  std::string_view key = line.substr(0, equals);
  std::string_view value = line.substr(equals + 1);
  if (section.empty() || key.empty() || value.empty()) return;
  table.emplace(CompoundKey(section, key), std::string(value));  // an earlier entry stays
}

}  // namespace

bool UpdateInfo::Parse(std::string_view text, const std::function<bool()>& cancelled) {
  auto table = std::make_shared<Table>();
  const std::string clean = WithoutTabs(text);
  std::string section;
  std::string_view rest(clean);
  size_t lines = 0;
  bool wasCancelled = false;
  // Only text followed by CR LF forms a line; whatever follows the last pair is ignored.
  for (size_t end; (end = rest.find("\r\n")) != std::string_view::npos; rest.remove_prefix(end + 2)) {
    if (cancelled && ++lines % kLinesPerCancelPoll == 0 && cancelled()) {
      wasCancelled = true;
      table->clear();
      break;
    }
    ParseLine(rest.substr(0, end), section, *table);
  }
  std::lock_guard<std::mutex> guard(lock_);
  table_ = std::move(table);
  return !wasCancelled;
}

void UpdateInfo::SetLoadedPath(const std::string& path) {
  std::lock_guard<std::mutex> guard(lock_);
  loadedPath_ = path;
}

std::string UpdateInfo::LoadedPath() const {
  std::lock_guard<std::mutex> guard(lock_);
  return loadedPath_;
}

size_t UpdateInfo::EntryCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return table_->size();
}

std::shared_ptr<const UpdateInfo::Table> UpdateInfo::LoadedTable() const {
  std::lock_guard<std::mutex> guard(lock_);
  if (loadedPath_.empty()) return nullptr;
  return table_;
}

int32_t UpdateInfo::ReadInt(std::string_view section, std::string_view key, int32_t defaultValue) const {
  auto table = LoadedTable();
  if (!table) return defaultValue;
  auto found = table->find(CompoundKey(section, key));
  return found == table->end() ? defaultValue : ConvertDecimal(found->second);
}

std::string UpdateInfo::ReadString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
  auto table = LoadedTable();
  std::string_view result = defaultValue;
  if (table) {
    auto found = table->find(CompoundKey(section, key));
    if (found != table->end()) result = found->second;
  }
  return std::string(result.substr(0, kMaxStringLength));
}

std::vector<uint32_t> UpdateInfo::PresentIndices(std::string_view section, uint32_t count) const {
  std::vector<uint32_t> indices;
  auto table = LoadedTable();
  if (!table) return indices;
  for (const auto& entry : *table) {
    std::string_view key(entry.first);
    if (!key.starts_with(section)) continue;
    key.remove_prefix(section.size());
    // Indices are written in decimal without leading zeros, as the steps spell them.
    size_t digits = 0;
    while (digits < key.size() && digits < 10 && key[digits] >= '0' && key[digits] <= '9') ++digits;
    if (digits == 0 || digits >= key.size() || key[digits] != '_' || key[0] == '0') continue;
    const uint64_t index = std::stoull(std::string(key.substr(0, digits)));
    if (index >= 1 && index <= count) indices.push_back(static_cast<uint32_t>(index));
  }
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  return indices;
}

bool UpdateInfo::IsProper(const std::function<bool()>& cancelled) const {
  if (!LoadedTable()) return false;
  if (ReadString("SolaneLauncher", "VersionMajorHigh", "NoData") == "NoData") return false;
  if (ReadString("SolaneClient", "VersionMajorHigh", "NoData") == "NoData") return false;
  const int32_t count = ReadInt("Resource", "ResourceCount", 0);
  if (count <= 0) return false;
  for (int32_t i = 1; i <= count; ++i) {
    if (cancelled && cancelled()) return false;
    if (ReadInt("Resource", std::to_string(i) + "_Version", 0) < 1) return false;
  }
  return true;
}

int32_t ConvertDecimal(std::string_view text) {
  size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > int64_t{INT32_MAX} + 1) break;  // saturated either way; stop before overflow
  }
  if (negative) return magnitude > int64_t{INT32_MAX} ? INT32_MIN : static_cast<int32_t>(-magnitude);
  return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

std::string DecodeServerText(std::string_view body, int locale) {
  if (platform::IsValidUtf8(body)) {
    if (body.starts_with("\xef\xbb\xbf")) body.remove_prefix(3);
    return std::string(body);
  }
  const char* codePage = "CP1252";
  switch (locale) {
    case 1: codePage = "CP949"; break;
    case 2: codePage = "CP932"; break;
    case 3: codePage = "CP936"; break;
    default: break;
  }
  auto decoded = platform::ConvertToUtf8(body, codePage);
  return decoded ? *decoded : std::string(body);
}

bool IsSafeInstallName(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return false;
  // A name that ends with a separator names a folder, never a file to fetch.
  if (!name.empty() && (name.back() == '/' || name.back() == '\\')) return false;
  // A name that ends at the folder itself ("." or "Data\..") names no file inside it.
  const std::optional<int> depth = platform::RelativeNameDepth(name);
  return depth && *depth > 0;
}
