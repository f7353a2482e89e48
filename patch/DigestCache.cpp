#include "patch/DigestCache.h"

#include <charconv>
#include <sstream>
#include <string_view>
#include <vector>

#include "patch/Md5.h"
#include "platform/Path.h"
#include "platform/StoreFile.h"

namespace {

// Line one names the format; line two the folder the entries belong to (its device and inode);
// then one line per file, "<size> <modified ns> <changed ns> <device> <inode> <md5> <name>",
// and last "end <md5 of every line before>".
constexpr std::string_view kHeader = "SolaneLauncher digest cache 1";
constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;  // far beyond any installation's list

template <typename Number>
bool ReadNumber(std::string_view& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data() || end == text.data() + text.size() || *end != ' ') return false;
  text.remove_prefix(static_cast<size_t>(end - text.data()) + 1);
  return true;
}

bool IsDigestText(std::string_view text) {
  if (text.size() != 32) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

std::string FolderLine(const platform::FileIdentity& folder) {
  return "folder " + std::to_string(folder.device) + " " + std::to_string(folder.inode);
}

std::string DigestOfText(const std::string& text) {
  Md5Context context;
  context.Update(text.data(), text.size());
  return context.Final();
}

}  // namespace

DigestCache::DigestCache(std::string folder, int64_t settleNs) : folder_(std::move(folder)), settleNs_(settleNs) {}

std::optional<std::string> DigestCache::RelativeName(const std::string& path) const {
  if (path.size() <= folder_.size() + 1 || path.compare(0, folder_.size(), folder_) != 0 ||
      path[folder_.size()] != platform::kPathSeparator)
    return std::nullopt;
  std::string name = path.substr(folder_.size() + 1);
  // One entry a line: a name that would break the line is simply never kept.
  if (name.find_first_of("\r\n") != std::string::npos) return std::nullopt;
  return name;
}

void DigestCache::Load() {
  std::string text;
  const platform::FileReadStatus status = platform::ReadWholeFile(platform::JoinPath(folder_, kFileName), text);
  std::lock_guard<std::mutex> guard(lock_);
  entries_.clear();
  dirty_ = false;
  if (status == platform::FileReadStatus::Missing) return;
  if (status != platform::FileReadStatus::Ok || text.size() > kMaxFileBytes || !Parse(text)) {
    entries_.clear();
    dirty_ = true;
  }
}

bool DigestCache::Parse(const std::string& text) {
  const size_t endLine = text.rfind("end ");
  if (endLine == std::string::npos || (endLine > 0 && text[endLine - 1] != '\n')) return false;
  const std::string body = text.substr(0, endLine);
  if (text.compare(endLine, std::string::npos, "end " + DigestOfText(body) + "\n") != 0) return false;
  const std::optional<platform::FileIdentity> folder = platform::IdentityOf(folder_);
  if (!folder) return false;

  std::istringstream lines(body);
  std::string line;
  if (!std::getline(lines, line) || line != kHeader) return false;
  if (!std::getline(lines, line) || line != FolderLine(*folder)) return false;
  while (std::getline(lines, line)) {
    std::string_view rest(line);
    Entry entry;
    platform::FileIdentity& id = entry.identity;
    if (!ReadNumber(rest, id.size) || !ReadNumber(rest, id.modifiedNs) || !ReadNumber(rest, id.changedNs) ||
        !ReadNumber(rest, id.device) || !ReadNumber(rest, id.inode))
      return false;
    if (rest.size() < 34 || !IsDigestText(rest.substr(0, 32)) || rest[32] != ' ') return false;
    entry.digest = std::string(rest.substr(0, 32));
    const std::string name(rest.substr(33));
    if (!entries_.emplace(name, std::move(entry)).second) return false;
  }
  return true;
}

std::optional<std::string> DigestCache::Kept(const std::string& name, const platform::FileIdentity& identity) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto found = entries_.find(name);
  if (found == entries_.end() || !(found->second.identity == identity)) return std::nullopt;
  return found->second.digest;
}

std::optional<std::string> DigestCache::KeptDigestOf(const std::string& path) {
  const std::optional<std::string> name = RelativeName(path);
  const std::optional<platform::FileIdentity> identity = platform::IdentityOf(path);
  if (!name || !identity) return std::nullopt;
  return Kept(*name, *identity);
}

std::string DigestCache::DigestOf(const std::string& path, bool reuse, const std::function<bool()>& cancelled) {
  const std::optional<std::string> name = RelativeName(path);
  const std::optional<platform::FileIdentity> before = platform::IdentityOf(path);
  if (name && before && reuse)
    if (std::optional<std::string> kept = Kept(*name, *before)) return *kept;
  const int64_t started = platform::WallClockNs();
  std::string digest = Md5OfFile(path, cancelled);
  if (!name || !before || digest.empty()) return digest;
  // Kept only for a file that stood still while it was read and had settled before.
  const std::optional<platform::FileIdentity> after = platform::IdentityOf(path);
  if (!after || !(*after == *before) || before->changedNs >= started - settleNs_) return digest;
  std::lock_guard<std::mutex> guard(lock_);
  Entry& entry = entries_[*name];
  if (!(entry.identity == *before) || entry.digest != digest) {
    entry = {*before, digest};
    dirty_ = true;
  }
  return digest;
}

bool DigestCache::StoreForTesting(const std::string& path, const std::string& digest) {
  const std::optional<std::string> name = RelativeName(path);
  const std::optional<platform::FileIdentity> identity = platform::IdentityOf(path);
  if (!name || !identity) return false;
  std::lock_guard<std::mutex> guard(lock_);
  entries_[*name] = {*identity, digest};
  dirty_ = true;
  return true;
}

std::string DigestCache::Serialise() const {
  std::string text(kHeader);
  text += "\n" + FolderLine(platform::IdentityOf(folder_).value_or(platform::FileIdentity{})) + "\n";
  for (const auto& [name, entry] : entries_) {
    const platform::FileIdentity& id = entry.identity;
    text += std::to_string(id.size) + " " + std::to_string(id.modifiedNs) + " " + std::to_string(id.changedNs) + " " +
            std::to_string(id.device) + " " + std::to_string(id.inode) + " " + entry.digest + " " + name + "\n";
  }
  return text + "end " + DigestOfText(text) + "\n";
}

bool DigestCache::Save() {
  std::lock_guard<std::mutex> guard(lock_);
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    const std::optional<platform::FileIdentity> now = platform::IdentityOf(folder_ + platform::kPathSeparator + entry->first);
    if (now && *now == entry->second.identity) {
      ++entry;
    } else {
      entry = entries_.erase(entry);
      dirty_ = true;
    }
  }
  if (!dirty_) return true;
  if (!platform::ReplaceFileContents(platform::JoinPath(folder_, kFileName), Serialise())) return false;
  dirty_ = false;
  return true;
}
