#pragma once
// The checksum that pack integrity checks compare with the server's: the CRC-32 of IEEE 802.3
// over what a text-mode read of the file delivers. Each CR LF pair counts as a single LF, and the
// file ends at its first 0x1A byte; every other byte, a lone CR included, counts as it stands.

#include <cstdint>
#include <functional>
#include <string>

// The checksum of the file at `path` (a native path). 0 when the file cannot be opened or read,
// and when `cancelled` (polled once per read of up to 1 MiB) returns true.
uint32_t TextModeCrc32(const std::string& path, const std::function<bool()>& cancelled = {});
