// Reads arbitrary text as SERVER.DAT. Whatever loads must survive being written and read again
// unchanged; a raw block must decode, encode and decode to the same entry.

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "servers/ServerFile.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool SameEntry(const LoginServerEntry& a, const LoginServerEntry& b) {
  return a.name == b.name && a.ip == b.ip && a.label == b.label && a.selected == b.selected &&
         a.latencyMs == b.latencyMs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  if (size >= kServerRecordSize) {
    std::optional<LoginServerEntry> entry = DecodeServerRecord(std::vector<uint8_t>(data, data + kServerRecordSize));
    Check(entry.has_value());
    std::optional<LoginServerEntry> again = DecodeServerRecord(EncodeServerRecord(*entry));
    Check(again.has_value() && SameEntry(*entry, *again));
  }

  std::optional<std::vector<LoginServerEntry>> entries = ParseServerFile(text);
  if (!entries || entries->empty()) return 0;
  std::optional<std::vector<LoginServerEntry>> reread = ParseServerFile(ComposeServerFile(*entries));
  Check(reread.has_value() && reread->size() == entries->size());
  for (size_t i = 0; i < entries->size(); ++i) Check(SameEntry((*entries)[i], (*reread)[i]));
  return 0;
}
