#pragma once
// What an installation has come to trust: the publisher keys whose signed releases it accepted,
// each (by its fingerprint) with the highest serial accepted under it. The record is one file
// beside the launcher, so every launcher process and every account that runs the installation
// decides alike, whatever configuration file it happens to read. A record that cannot be read
// trusts nothing rather than everything.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

class ReleaseTrust {
 public:
  static constexpr const char* kFileName = "SolaneLauncher.TRUST";

  // The record of the installation in `folder`: empty when it has no record file yet; none when
  // the file cannot be read or is not wholly lines of "<fingerprint> <serial>".
  static std::optional<ReleaseTrust> Read(const std::string& folder);

  // True once a signed release was accepted: from then on every release must be signed with a
  // key of the record.
  bool Pinned() const { return !serials_.empty(); }
  // Whether releases signed with this key may be accepted: any key before the first accepted
  // release, afterwards only the keys of the record.
  bool Admits(const std::string& fingerprint) const { return !Pinned() || serials_.contains(fingerprint); }
  std::optional<uint64_t> HighestSerial(const std::string& fingerprint) const;
  // Records `serial` as the key's highest and writes the file in one step, readable by all.
  // False (and nothing changed) when the file cannot be written.
  bool Raise(const std::string& fingerprint, uint64_t serial);

 private:
  explicit ReleaseTrust(std::string path) : path_(std::move(path)) {}
  std::string path_;
  std::map<std::string, uint64_t> serials_;
};
