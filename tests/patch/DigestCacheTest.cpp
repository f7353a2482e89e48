// The installation's digest cache: a kept digest answers only for the very file it was computed
// for, and a cache file that cannot be fully trusted is ignored and written anew.

#include "patch/DigestCache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/ScratchDir.h"

namespace {

const std::string kLie(32, '0');  // a digest no test file has: when it comes back, it was reused

TEST(DigestCache, OnlyAnUnchangedFileReusesItsDigest) {
  ScratchDir folder;
  const std::string path = folder.Write("data/Map.SPF", "first bytes");
  DigestCache cache(folder.Path(), 0);
  EXPECT_EQ(cache.DigestOf(path, true), Md5Of("first bytes"));
  ASSERT_TRUE(cache.StoreForTesting(path, kLie));
  ASSERT_TRUE(cache.Save());

  DigestCache next(folder.Path(), 0);
  next.Load();
  EXPECT_EQ(next.DigestOf(path, true), kLie);
  EXPECT_EQ(next.KeptDigestOf(path), kLie);
  EXPECT_EQ(next.DigestOf(path, false), Md5Of("first bytes"));  // the repair run reads the file

  // Same size, modification time put back: the status-change time still tells.
  ASSERT_TRUE(next.StoreForTesting(path, kLie));
  const std::filesystem::file_time_type before = std::filesystem::last_write_time(path);
  folder.Write("data/Map.SPF", "other bytes");
  std::filesystem::last_write_time(path, before);
  EXPECT_EQ(next.KeptDigestOf(path), std::nullopt);
  EXPECT_EQ(next.DigestOf(path, true), Md5Of("other bytes"));

  // A file changed within the file system's clock tick could keep its times: too fresh to keep.
  DigestCache settling(folder.Path());
  std::filesystem::remove(folder.PathOf(DigestCache::kFileName));
  EXPECT_EQ(settling.DigestOf(folder.Write("Fresh.SPF", "fresh"), true), Md5Of("fresh"));
  ASSERT_TRUE(settling.Save());
  EXPECT_FALSE(folder.Exists(DigestCache::kFileName));
}

// Damaged, of another format, cut short, or another installation's (whose file is the very same
// inode through a hard link): none is believed, and Save writes a sound one.
TEST(DigestCache, ADoubtfulCacheFileIsIgnoredAndWrittenAnew) {
  ScratchDir home, other;
  const std::string path = home.Write("Pack.SPF", "pack");
  const std::string twin = other.PathOf("Pack.SPF");
  std::filesystem::create_hard_link(path, twin);
  DigestCache writer(home.Path(), 0);
  ASSERT_TRUE(writer.StoreForTesting(path, kLie));
  ASSERT_TRUE(writer.Save());
  const std::string sound = home.Read(DigestCache::kFileName).value();

  const std::function<std::string(std::string)> damages[] = {
      [](std::string text) { return text.replace(text.find(kLie), 1, "1"); },
      [](std::string text) { return text.replace(0, 1, "X"); },
      [](std::string text) { return text.substr(0, text.size() - 5); },
  };
  for (size_t i = 0; i < std::size(damages); ++i) {
    home.Write(DigestCache::kFileName, damages[i](sound));
    DigestCache cache(home.Path(), 0);
    cache.Load();
    EXPECT_EQ(cache.DigestOf(path, true), Md5Of("pack")) << i;
    ASSERT_TRUE(cache.Save());
    DigestCache rewritten(home.Path(), 0);
    rewritten.Load();
    EXPECT_EQ(rewritten.DigestOf(path, true), Md5Of("pack")) << i;
    EXPECT_NE(home.Read(DigestCache::kFileName), damages[i](sound)) << i;
  }

  other.Write(DigestCache::kFileName, sound);
  DigestCache foreign(other.Path(), 0);
  foreign.Load();
  EXPECT_EQ(foreign.DigestOf(twin, true), Md5Of("pack"));
}

}  // namespace
