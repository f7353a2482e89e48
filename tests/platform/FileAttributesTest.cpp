#include "platform/FileAttributes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/platform/ScratchFolder.h"

namespace {

constexpr uint64_t kEpoch = 116444736000000000ULL;

class FileAttributesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.empty());
    std::ofstream(file_) << "data";
  }

  // User extended attributes depend on the file system; the DOS bits are only checked where
  // the scratch folder can hold them.
  bool CanStoreUserAttributes() {
    return setxattr(file_.c_str(), "user.probe", "1", 1, 0) == 0 &&
           removexattr(file_.c_str(), "user.probe") == 0;
  }

  mode_t Mode() {
    struct stat info;
    EXPECT_EQ(stat(file_.c_str(), &info), 0);
    return info.st_mode & 07777;
  }

  testing_support::ScratchFolder scratch_;
  const std::string folder_ = scratch_.path();
  const std::string file_ = scratch_ / "file.dat";
};

TEST(FileTimeConversion, KnownVectors) {
  struct Vector {
    uint64_t fileTime;
    int64_t seconds;
    long nanoseconds;
  };
  const Vector vectors[] = {
      {kEpoch, 0, 0},
      {kEpoch + 1, 0, 100},
      {kEpoch + 10000000ULL * 1589718896 + 1234567, 1589718896, 123456700},
      {kEpoch - 1, -1, 999999900},
      {kEpoch - 10000000ULL, -1, 0},
      {0, -11644473600LL, 0},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.fileTime);
    std::timespec converted = platform::FileTimeToTimespec(v.fileTime);
    EXPECT_EQ(converted.tv_sec, v.seconds);
    EXPECT_EQ(converted.tv_nsec, v.nanoseconds);
    EXPECT_EQ(platform::UnixToFileTime(v.seconds, static_cast<uint32_t>(v.nanoseconds)), v.fileTime);
  }
  EXPECT_EQ(platform::UnixToFileTime(-11644473601LL), 0u);  // before 1601
}

TEST_F(FileAttributesTest, TimesRoundTripWithSubSecondPrecision) {
  uint64_t access = platform::UnixToFileTime(1100000000, 500);
  uint64_t write = platform::UnixToFileTime(1000000000, 123456700);
  ASSERT_TRUE(platform::SetFileTimes(file_, access, write));
  struct stat info;
  ASSERT_EQ(stat(file_.c_str(), &info), 0);
  EXPECT_EQ(info.st_atim.tv_sec, 1100000000);
  EXPECT_EQ(info.st_atim.tv_nsec, 500);
  EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(info.st_mtim.tv_nsec, 123456700);

  // A zero time leaves that time alone.
  ASSERT_TRUE(platform::SetFileTimes(file_, 0, platform::UnixToFileTime(1200000000)));
  ASSERT_EQ(stat(file_.c_str(), &info), 0);
  EXPECT_EQ(info.st_atim.tv_sec, 1100000000);
  EXPECT_EQ(info.st_mtim.tv_sec, 1200000000);

  EXPECT_FALSE(platform::SetFileTimes(folder_ + "/missing", kEpoch, kEpoch));
}

TEST_F(FileAttributesTest, ReadOnlyMapsToWriteBits) {
  ASSERT_EQ(chmod(file_.c_str(), 0664), 0);
  EXPECT_EQ(platform::GetFileAttributes(file_), platform::kAttributeNormal);

  ASSERT_TRUE(platform::SetFileAttributes(file_, platform::kAttributeReadOnly));
  EXPECT_EQ(Mode(), 0444u);
  EXPECT_EQ(platform::GetFileAttributes(file_).value() & platform::kAttributeReadOnly,
            platform::kAttributeReadOnly);

  ASSERT_TRUE(platform::SetFileAttributes(file_, platform::kAttributeNormal));
  EXPECT_EQ(Mode(), 0644u);
  EXPECT_EQ(platform::GetFileAttributes(file_), platform::kAttributeNormal);

  EXPECT_EQ(platform::GetFileAttributes(folder_).value() & platform::kAttributeDirectory,
            platform::kAttributeDirectory);
  EXPECT_FALSE(platform::GetFileAttributes(folder_ + "/missing").has_value());
  EXPECT_FALSE(platform::SetFileAttributes(folder_ + "/missing", platform::kAttributeHidden));
}

TEST_F(FileAttributesTest, DosBitsLiveInSambaAttribute) {
  if (!CanStoreUserAttributes()) GTEST_SKIP() << "no user extended attributes here";
  using namespace platform;
  ASSERT_TRUE(SetFileAttributes(file_, kAttributeHidden | kAttributeArchive | kAttributeReadOnly));
  char text[32] = {};
  ssize_t length = getxattr(file_.c_str(), "user.DOSATTRIB", text, sizeof text - 1);
  EXPECT_EQ(std::string(text, length > 0 ? length : 0), "0x22");
  EXPECT_EQ(GetFileAttributes(file_), kAttributeHidden | kAttributeArchive | kAttributeReadOnly);

  ASSERT_TRUE(SetFileAttributes(file_, kAttributeSystem));
  EXPECT_EQ(GetFileAttributes(file_), kAttributeSystem);

  ASSERT_TRUE(SetFileAttributes(file_, kAttributeNormal));
  EXPECT_EQ(GetFileAttributes(file_), kAttributeNormal);
  EXPECT_LT(getxattr(file_.c_str(), "user.DOSATTRIB", text, sizeof text), 0);

  // Samba's own text form, with its terminator, reads back too.
  ASSERT_EQ(setxattr(file_.c_str(), "user.DOSATTRIB", "0x6", 4, 0), 0);
  EXPECT_EQ(GetFileAttributes(file_), kAttributeHidden | kAttributeSystem);
}

}  // namespace
