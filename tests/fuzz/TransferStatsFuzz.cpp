// Feeds the statistics arbitrary clocks, totals and byte counts: every sample must format
// without undefined arithmetic, and the status line must stay a short line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "download/TransferStats.h"
#include "window/Catalogue.h"

namespace {

template <typename T>
T Take(const uint8_t*& data, size_t& size) {
  T value{};
  const size_t n = size < sizeof(T) ? size : sizeof(T);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint32_t now = Take<uint32_t>(data, size);
  CTransferStats stats([&now] { return now; }, kLanguageEnglish);
  stats.SetTotal(Take<uint64_t>(data, size));
  while (size > 0) {
    now += Take<uint32_t>(data, size);
    stats.SetPosition(Take<uint64_t>(data, size));
    if (stats.GetStatusText().size() > 200) std::abort();
  }
  return 0;
}
