#pragma once
// The memory this process has used, for the benchmarks' reports.

#include <cstdint>
#include <optional>

namespace platform {

// The largest resident set this process has had so far, in bytes; none when the system does
// not tell.
std::optional<uint64_t> PeakResidentBytes();

}  // namespace platform
