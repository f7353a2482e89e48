#include "patch/ReleaseTrust.h"

#include <string_view>

#include "patch/ReleaseSignature.h"
#include "platform/FileSystem.h"
#include "platform/Path.h"
#include "platform/StoreFile.h"

namespace {

constexpr std::string_view kHeader =
    "# Publisher keys (SHA-256 of the key) this installation accepted signed releases from, each with\n"
    "# the highest release serial accepted. Delete this file only to move the installation to a new key.\n";
constexpr size_t kFingerprintLength = 64;

bool IsFingerprint(std::string_view text) {
  if (text.size() != kFingerprintLength) return false;
  for (const char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

}  // namespace

std::optional<ReleaseTrust> ReleaseTrust::Read(const std::string& folder) {
  ReleaseTrust trust(platform::JoinPath(folder, kFileName));
  std::string text;
  switch (platform::ReadWholeFile(trust.path_, text)) {
    case platform::FileReadStatus::Missing: return trust;
    case platform::FileReadStatus::Failed: return std::nullopt;
    case platform::FileReadStatus::Ok: break;
  }
  std::string_view rest = text;
  while (!rest.empty()) {
    const size_t end = rest.find('\n');
    // Every line ends with a line feed: a file cut short is not a record.
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end + 1);
    if (line.starts_with('#')) continue;
    const size_t space = line.find(' ');
    if (space == std::string_view::npos || !IsFingerprint(line.substr(0, space))) return std::nullopt;
    const std::optional<uint64_t> serial = ParseReleaseSerial(line.substr(space + 1));
    if (!serial || !trust.serials_.emplace(std::string(line.substr(0, space)), *serial).second) return std::nullopt;
  }
  // The launcher never writes a record without a key: an empty one is damage, not a fresh start.
  if (!trust.Pinned()) return std::nullopt;
  return trust;
}

std::optional<uint64_t> ReleaseTrust::HighestSerial(const std::string& fingerprint) const {
  const auto found = serials_.find(fingerprint);
  if (found == serials_.end()) return std::nullopt;
  return found->second;
}

bool ReleaseTrust::Raise(const std::string& fingerprint, uint64_t serial) {
  std::map<std::string, uint64_t> serials = serials_;
  serials[fingerprint] = serial;
  std::string text(kHeader);
  for (const auto& [key, highest] : serials) text += key + " " + std::to_string(highest) + "\n";
  // Written whole beside the record, then put in its place with mode 0644 whatever the umask:
  // the other accounts that run the installation must read the same record.
  const std::string fresh = path_ + ".new";
  if (!platform::ReplaceFileContents(fresh, text) || !platform::ReplaceFile(fresh, path_, false)) {
    platform::RemoveTree(fresh);
    return false;
  }
  serials_ = std::move(serials);
  return true;
}
