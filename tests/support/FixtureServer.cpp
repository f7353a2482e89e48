#include "tests/support/FixtureServer.h"

#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/AsciiText.h"

namespace {

// File names in tests hold no control characters; quotes and backslashes are escaped.
std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' || c == '\\' ? std::string{'\\', c} : std::string{c};
  return quoted + "\"";
}

// A log line's tab-separated fields, with "\\", "\t" and "\n" unescaped.
std::vector<std::string> LogFields(const std::string& line) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\t') {
      fields.emplace_back();
    } else if (line[i] == '\\' && i + 1 < line.size()) {
      const char next = line[++i];
      fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next;
    } else {
      fields.back() += line[i];
    }
  }
  return fields;
}

}  // namespace

std::string RecordedRequest::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (platform::EqualsIgnoringCase(key, name)) return value;
  }
  return {};
}

bool FixtureServer::SetBehaviour(const std::string& name, const FileBehaviour& behaviour) {
  std::ostringstream order;
  order << "{\"path\": " << JsonString(name);
  if (behaviour.status != 200) order << ", \"status\": " << behaviour.status;
  if (behaviour.stallAfter) order << ", \"stall_after\": " << *behaviour.stallAfter;
  if (behaviour.closeAfter) order << ", \"close_after\": " << *behaviour.closeAfter;
  if (behaviour.contentLength) order << ", \"content_length\": " << *behaviour.contentLength;
  if (behaviour.omitLength) order << ", \"omit_length\": true";
  if (behaviour.bytesPerSecond > 0) order << ", \"rate\": " << behaviour.bytesPerSecond;
  if (behaviour.endless) order << ", \"forever\": true";
  if (behaviour.ignoreRange) order << ", \"ignore_range\": true";
  if (behaviour.rangeTotal) order << ", \"range_total\": " << *behaviour.rangeTotal;
  if (behaviour.silent) order << ", \"silent\": true";
  if (!behaviour.etag.empty()) order << ", \"etag\": " << JsonString(behaviour.etag);
  if (behaviour.times > 0) order << ", \"times\": " << behaviour.times;
  if (behaviour.headStatus != 0 || behaviour.headOmitsLength)  // what HEAD answers instead
    order << ", \"head\": {\"status\": " << (behaviour.headStatus != 0 ? behaviour.headStatus : behaviour.status)
          << (behaviour.headOmitsLength ? ", \"omit_length\": true" : "") << "}";
  order << "}";
  return LoopbackRequest(Port(), "/__control", order.str()).has_value();
}

bool FixtureServer::Reset() { return LoopbackRequest(Port(), "/__reset", std::string()).has_value(); }

std::vector<RecordedRequest> FixtureServer::Requests() const {
  std::vector<RecordedRequest> requests;
  const auto log = LoopbackRequest(Port(), "/__log");
  if (!log) return requests;
  std::istringstream lines(*log);
  std::string line;
  while (std::getline(lines, line)) {
    const std::vector<std::string> fields = LogFields(line);
    if (fields.size() == 4 && fields[0] == "REQUEST") {
      requests.push_back({fields[1], fields[2], fields[3], {}, {}});
    } else if (fields.size() == 3 && fields[0] == "HEADER" && !requests.empty()) {
      requests.back().headers.emplace_back(fields[1], fields[2]);
    } else if (fields.size() == 4 && fields[0] == "PART" && !requests.empty()) {
      std::ifstream saved(fields[3], std::ios::binary);
      requests.back().parts.push_back({fields[1], fields[2], std::string(std::istreambuf_iterator<char>(saved), {})});
    }
  }
  return requests;
}

std::vector<std::string> FixtureServer::Fetched(const std::string& prefix) const {
  std::vector<std::string> paths;
  for (const RecordedRequest& request : Requests())
    if (request.method == "GET")
      paths.push_back(request.decodedPath.substr(request.decodedPath.starts_with(prefix) ? prefix.size() : 0));
  return paths;
}
