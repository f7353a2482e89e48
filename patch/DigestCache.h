#pragma once
// The digests of installed files, kept between runs in one small file of the installation
// folder so that a run that finds nothing changed reads no file twice.
//
// A digest is reused only while the file's identity (size, modification and status-change
// times in nanoseconds, device, inode) is exactly the one it had when it was digested. The file
// is trusted only whole: a damaged one, one from another installation folder or of another
// format is ignored and written anew. Every method may be called from any thread.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/FileIdentity.h"

class DigestCache {
 public:
  static constexpr const char* kFileName = "SolaneLauncher.digests";
  // A file whose status changed this recently may still change within the same tick of the
  // file system's clock (two seconds on the coarsest ones): its digest is not kept.
  static constexpr int64_t kSettleNs = 2'000'000'000;

  // The cache of the installation in `folder`; nothing is read before Load().
  explicit DigestCache(std::string folder, int64_t settleNs = kSettleNs);

  // Reads the cache file. A missing file is an empty cache; anything doubtful is an empty cache
  // that Save() writes anew.
  void Load();

  // The MD5 text of the file at `path` (inside the folder): the kept one when `reuse` is set and
  // the file is unchanged, else computed (Md5OfFile, `cancelled` polled) and kept for the next
  // run when the file did not change while it was read. Empty when the file cannot be read.
  std::string DigestOf(const std::string& path, bool reuse, const std::function<bool()>& cancelled = {});
  // The kept digest of the file at `path` while the file is unchanged, without reading it; none
  // otherwise.
  std::optional<std::string> KeptDigestOf(const std::string& path);

  // Drops the entries whose files changed or went, and replaces the cache file atomically when
  // its contents would differ from what Load() found. False when the file could not be written.
  bool Save();

  // Puts an entry as if `digest` had been computed for the file at `path` as it is now (tests,
  // to show which digest a run used).
  bool StoreForTesting(const std::string& path, const std::string& digest);

 private:
  struct Entry {
    platform::FileIdentity identity;
    std::string digest;
  };
  std::optional<std::string> RelativeName(const std::string& path) const;
  std::optional<std::string> Kept(const std::string& name, const platform::FileIdentity& identity);
  bool Parse(const std::string& text);
  std::string Serialise() const;

  const std::string folder_;
  const int64_t settleNs_;
  std::mutex lock_;
  std::map<std::string, Entry> entries_;  // by name relative to the folder
  bool dirty_ = false;
};
