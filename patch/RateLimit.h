#pragma once
// The bandwidth limits that meet on one download: the server's, the configuration file's and
// the command line's.

#include <cstdint>
#include <initializer_list>

// The lowest of the limits that are set (above 0), all in kilobytes (1,000 bytes) per second,
// which is bytes per millisecond, the session's unit; -1.0 (no limit) when none is set.
double LowestRateLimit(std::initializer_list<uint32_t> limits);
