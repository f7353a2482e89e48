#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/Requirement.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchDir.h"

using namespace platform;
using Status = NamedMutex::Status;

namespace {

constexpr const char* kName = "SolaneLauncher-VANTIK";
constexpr uid_t kNobody = 65534;

// Release when the holder dies, whatever it started, is the lock file's: see FileLockTest.
class NamedMutexTest : public ::testing::Test {
 protected:
  ScratchDir runtime_;
  ScopedEnvironment runtimeFolder_{"XDG_RUNTIME_DIR", runtime_.Path()};
};

TEST_F(NamedMutexTest, HeldForTheLifeOfTheObjectInASafeFileOfItsOwn) {
  {
    NamedMutex first(kName);
    EXPECT_EQ(first.status(), Status::Created);
    EXPECT_EQ(NamedMutex(kName).status(), Status::AlreadyExists);
    EXPECT_EQ(NamedMutex("SolaneLauncher-OTHER").status(), Status::Created);
  }
  EXPECT_EQ(NamedMutex(kName).status(), Status::Created);

  std::vector<std::unique_ptr<NamedMutex>> held;
  for (const std::string& name : {std::string("Global\\a/b"), std::string("Global_a_b"), std::string(".."),
                                  std::string(300, 'n'), std::string(300, 'n') + "x"}) {
    const std::string path = NamedMutex::LockFilePath(name);
    EXPECT_EQ(path.substr(0, path.rfind('/')), runtime_.Path()) << path;
    held.push_back(std::make_unique<NamedMutex>(name));
    EXPECT_EQ(held.back()->status(), Status::Created) << name;  // none shares a file with another
  }
}

// Another account's files never stand for a launcher of ours: the run goes on without the mutex
// rather than saying that a launcher is already running.
TEST_F(NamedMutexTest, WhatAnotherAccountMadeInAdvanceIsNeverTakenForALauncher) {
  const std::string planted = NamedMutex::LockFilePath(kName);
  const int plantedFd = open(planted.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(plantedFd, 0);
  SOLANE_REQUIRE(fchown(plantedFd, kNobody, kNobody) == 0, "needs root to give a file away");
  EXPECT_EQ(NamedMutex(kName).status(), Status::Failed);
  ASSERT_EQ(flock(plantedFd, LOCK_EX), 0);  // and held by its maker
  EXPECT_EQ(NamedMutex(kName).status(), Status::Failed);
  close(plantedFd);

  // Without a runtime folder, a folder of the user's own in the temporary folder.
  ScratchDir temporary;
  ScopedEnvironment noRuntime("XDG_RUNTIME_DIR", std::nullopt);
  ScopedEnvironment temporaryFolder("TMPDIR", temporary.Path());
  const std::string own = temporary.PathOf("solane-" + std::to_string(geteuid()));
  EXPECT_EQ(NamedMutex::LockFilePath(kName), own + "/" + planted.substr(planted.rfind('/') + 1));
  EXPECT_EQ(NamedMutex(kName).status(), Status::Created);
  struct stat info {};
  EXPECT_EQ(lstat(own.c_str(), &info) == 0 ? info.st_mode & 0777 : 0, 0700u);

  ASSERT_EQ(chown(own.c_str(), kNobody, kNobody), 0);
  EXPECT_EQ(NamedMutex(kName).status(), Status::Failed);
  ASSERT_EQ(rename(own.c_str(), temporary.PathOf("elsewhere").c_str()), 0);
  ASSERT_EQ(symlink(temporary.PathOf("elsewhere").c_str(), own.c_str()), 0);
  EXPECT_EQ(NamedMutex(kName).status(), Status::Failed);
}

}  // namespace
