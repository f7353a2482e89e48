// Replacing a file in one step, on one file system and across two, and the space left for it.

#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/Requirement.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/SmallFileSystem.h"

using namespace platform;

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A 1 MiB tmpfs in its own folder: a rename into it crosses file systems, and it fills up.
class FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SOLANE_REQUIRE(small_.Mounted(), "needs root to mount");
  }

  ScratchDir scratch_;
  const std::string mountPoint_ = scratch_.PathOf("small");
  SmallFileSystem small_{mountPoint_, 1 << 20};
};

TEST_F(FileSystemTest, AReplacedFileIsCompleteWithItsModeOrTheOldOneStays) {
  const std::string across = mountPoint_ + "/SolaneClient.exe";
  for (const std::string& destination : {scratch_.PathOf("SolaneClient.exe"), across}) {
    for (bool program : {true, false}) {
      const std::string source = scratch_.Write("download.tmp", program ? "#!/bin/sh\n" : "data");
      chmod(source.c_str(), 0600);
      ASSERT_TRUE(ReplaceFile(source, destination, program)) << destination;
      EXPECT_EQ(ModeOf(destination), program ? 0755u : 0644u) << destination;
      EXPECT_EQ(FileSizeOf(destination), program ? 10 : 4) << destination;
      EXPECT_EQ(PathExists(source), destination == across);  // renamed on one file system, copied across two
    }
  }

  const std::optional<uint64_t> free = FreeDiskSpace(mountPoint_ + "/missing/folder");  // asks the mount
  EXPECT_TRUE(free && *free <= 1u << 20);
  EXPECT_FALSE(ReplaceFile(scratch_.Write("big", std::string(2 << 20, 'x')), across, false));
  EXPECT_EQ(FileSizeOf(across), 4);
  EXPECT_FALSE(PathExists(across + ".solane-new"));
  EXPECT_EQ(FreeDiskSpace(mountPoint_), free);
}

}  // namespace
