#include "platform/FileAttributes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "tests/support/Requirement.h"
#include "tests/support/ScratchDir.h"

using namespace platform;

namespace {

constexpr uint64_t kEpoch = 116444736000000000ULL;

class FileAttributesTest : public ::testing::Test {
 protected:
  struct stat Stat() const {
    struct stat info {};
    EXPECT_EQ(stat(file_.c_str(), &info), 0);
    return info;
  }

  ScratchDir folder_;
  const std::string file_ = folder_.Write("file.dat", "data");
};

TEST(FileTimeConversion, KnownVectors) {
  const struct {
    uint64_t fileTime;
    int64_t seconds;
    long nanoseconds;
  } vectors[] = {
      {kEpoch + 1, 0, 100},
      {kEpoch + 10000000ULL * 1589718896 + 1234567, 1589718896, 123456700},
      {kEpoch - 1, -1, 999999900},
      {0, -11644473600LL, 0},
  };
  for (const auto& v : vectors) {
    const timespec converted = FileTimeToTimespec(v.fileTime);
    EXPECT_EQ(std::pair(converted.tv_sec, converted.tv_nsec), std::pair(v.seconds, v.nanoseconds)) << v.fileTime;
    EXPECT_EQ(UnixToFileTime(v.seconds, static_cast<uint32_t>(v.nanoseconds)), v.fileTime);
  }
  EXPECT_EQ(UnixToFileTime(-11644473601LL), 0u);  // before 1601
}

TEST_F(FileAttributesTest, TimesRoundTripWithSubSecondPrecision) {
  ASSERT_TRUE(SetFileTimes(file_, UnixToFileTime(1100000000, 500), UnixToFileTime(1000000000, 123456700)));
  EXPECT_EQ(Stat().st_atim.tv_nsec, 500);
  EXPECT_EQ(std::pair(Stat().st_mtim.tv_sec, Stat().st_mtim.tv_nsec), std::pair(1000000000L, 123456700L));
  // A zero time leaves that time alone.
  ASSERT_TRUE(SetFileTimes(file_, 0, UnixToFileTime(1200000000)));
  EXPECT_EQ(Stat().st_atim.tv_sec, 1100000000);
  EXPECT_EQ(Stat().st_mtim.tv_sec, 1200000000);
}

TEST_F(FileAttributesTest, ReadOnlyMapsToWriteBits) {
  ASSERT_EQ(chmod(file_.c_str(), 0664), 0);
  ASSERT_TRUE(SetFileAttributes(file_, kAttributeReadOnly));
  EXPECT_EQ(Stat().st_mode & 07777, 0444u);
  EXPECT_EQ(GetFileAttributes(file_).value() & kAttributeReadOnly, kAttributeReadOnly);
  ASSERT_TRUE(SetFileAttributes(file_, kAttributeNormal));
  EXPECT_EQ(Stat().st_mode & 07777, 0644u);
  EXPECT_EQ(GetFileAttributes(folder_.Path()).value() & kAttributeDirectory, kAttributeDirectory);
  EXPECT_FALSE(SetFileAttributes(folder_.PathOf("missing"), kAttributeHidden));
}

TEST_F(FileAttributesTest, DosBitsLiveInTheSambaAttribute) {
  SOLANE_REQUIRE(setxattr(file_.c_str(), "user.probe", "1", 1, 0) == 0, "no user extended attributes here");
  ASSERT_TRUE(SetFileAttributes(file_, kAttributeHidden | kAttributeArchive | kAttributeReadOnly));
  char text[32] = {};
  const ssize_t length = getxattr(file_.c_str(), "user.DOSATTRIB", text, sizeof text - 1);
  EXPECT_EQ(std::string(text, length > 0 ? length : 0), "0x22");
  EXPECT_EQ(GetFileAttributes(file_), kAttributeHidden | kAttributeArchive | kAttributeReadOnly);
  ASSERT_TRUE(SetFileAttributes(file_, kAttributeNormal));
  EXPECT_LT(getxattr(file_.c_str(), "user.DOSATTRIB", text, sizeof text), 0);
  // Samba's own text form, with its terminator, reads back too.
  ASSERT_EQ(setxattr(file_.c_str(), "user.DOSATTRIB", "0x6", 4, 0), 0);
  EXPECT_EQ(GetFileAttributes(file_), kAttributeHidden | kAttributeSystem);
}

}  // namespace
