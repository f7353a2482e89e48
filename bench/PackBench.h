#pragma once
// Benchmarks of the resource pack step on scratch installations: an installation whose update
// finds every pack current, and the decision pass and purge at growing entry counts.

#include <cstdint>
#include <string>
#include <vector>

// Fills `folder` with an installation whose update is a no-op: `count` packs of `packBytes`
// bytes each (with `withDigests`, every one flagged "MD5" with its digest announced), the
// launcher and the client (copies of this program, whose version is announced), a
// configuration file naming `host` and the server path "patch", and the matching Update.NFO
// written to `announcementPath`. scripts/bench puts the real launcher in place and runs it.
bool PrepareCurrentInstallation(const std::string& folder, const std::string& host, uint32_t count,
                                uint64_t packBytes, const std::string& announcementPath, bool withDigests);

// For each entry count: times the decision pass with the purge of as many unlisted packs, and
// the purge alone, on packs that are current by their trailer (no digests). Prints one line per
// count with the time per entry. Scratch installations live below `folder` and are removed.
bool MeasurePackPasses(const std::string& folder, const std::vector<uint32_t>& entryCounts);
