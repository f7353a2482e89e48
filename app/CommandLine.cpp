#include "app/CommandLine.h"

namespace {

// One left-to-right pass over non-overlapping "//", so "///" becomes "//".
std::string CollapseDoubleSlashes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == '/' && i + 1 < text.size() && text[i + 1] == '/') ++i;
  }
  return out;
}

}  // namespace

void CCommandLine::Parse(std::string_view commandLine) {
  table_.clear();
  const std::string line = CollapseDoubleSlashes(commandLine);
  size_t start = line.find('/');
  if (start == std::string::npos) return;

  // A switch counts only when a later " /" closes it; its value runs up to that " /".
  while (true) {
    size_t end = line.find(" /", start + 1);
    if (end == std::string::npos) break;
    std::string token = line.substr(start, end - start);
    size_t colon = token.find(':');
    if (colon != std::string::npos) {
      std::string key = token.substr(0, colon + 1);
      std::string value = token.substr(colon + 1);
      if (!value.empty()) table_.emplace(std::move(key), std::move(value));  // first one wins
    }
    start = end + 1;
  }
}

std::optional<std::string> CCommandLine::Get(std::string_view key) const {
  auto found = table_.find(key);
  if (found == table_.end()) return std::nullopt;
  return found->second;
}
