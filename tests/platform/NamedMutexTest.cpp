#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/platform/ScratchFolder.h"

extern char** environ;

using namespace platform;
using testing_support::ScopedEnvironment;
using testing_support::ScratchFolder;

namespace {

constexpr const char* kName = "SolaneLauncher-VANTIK";

class NamedMutexTest : public ::testing::Test {
 protected:
  // The status a forked process sees for `name`, reported through its exit code.
  static NamedMutex::Status StatusInChild(const std::string& name, uid_t asUser = 0) {
    pid_t child = fork();
    if (child == 0) {
      if (asUser != 0 && setuid(asUser) != 0) _exit(100);
      NamedMutex mutex(name);
      _exit(static_cast<int>(mutex.status()));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) < 4 ? static_cast<NamedMutex::Status>(WEXITSTATUS(status))
                                                         : NamedMutex::Status::Failed;
  }

  ScratchFolder runtime_;
  ScopedEnvironment runtimeFolder_{"XDG_RUNTIME_DIR", runtime_.path()};
};

}  // namespace

TEST_F(NamedMutexTest, HeldForTheLifeOfTheObject) {
  EXPECT_EQ(NamedMutex::LockFilePath(kName).rfind(runtime_.path() + "/", 0), 0u);
  {
    NamedMutex first(kName);
    EXPECT_EQ(first.status(), NamedMutex::Status::Created);
    NamedMutex second(kName);
    EXPECT_EQ(second.status(), NamedMutex::Status::AlreadyExists);
    EXPECT_EQ(StatusInChild(kName), NamedMutex::Status::AlreadyExists);
    NamedMutex other("SolaneLauncher-OTHER");
    EXPECT_EQ(other.status(), NamedMutex::Status::Created);
  }
  NamedMutex again(kName);
  EXPECT_EQ(again.status(), NamedMutex::Status::Created);
}

TEST_F(NamedMutexTest, FreedWhenTheHoldingProcessDies) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    NamedMutex mutex(kName);
    char status = static_cast<char>(mutex.status());
    (void)!write(ready[1], &status, 1);
    for (;;) pause();  // killed by the test, never released by hand
  }
  char holderStatus = -1;
  ASSERT_EQ(read(ready[0], &holderStatus, 1), 1);
  close(ready[0]);
  close(ready[1]);
  EXPECT_EQ(holderStatus, static_cast<char>(NamedMutex::Status::Created));

  EXPECT_EQ(NamedMutex(kName).status(), NamedMutex::Status::AlreadyExists);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(NamedMutex(kName).status(), NamedMutex::Status::Created);
}

TEST_F(NamedMutexTest, ProgramsStartedByTheHolderDoNotKeepItHeld) {
  pid_t sleeper = -1;
  {
    NamedMutex mutex(kName);
    ASSERT_EQ(mutex.status(), NamedMutex::Status::Created);
    char sleepPath[] = "/bin/sleep";
    char seconds[] = "30";
    char* arguments[] = {sleepPath, seconds, nullptr};
    ASSERT_EQ(posix_spawn(&sleeper, sleepPath, nullptr, nullptr, arguments, environ), 0);
  }
  EXPECT_EQ(NamedMutex(kName).status(), NamedMutex::Status::Created);
  kill(sleeper, SIGKILL);
  waitpid(sleeper, nullptr, 0);
}

TEST_F(NamedMutexTest, NamesMapToDistinctSafeFiles) {
  const std::string names[] = {"Global\\a/b", "Global_a_b", "Global%5Ca%2Fb", "..", std::string(300, 'n'),
                               std::string(300, 'n') + "x"};
  std::vector<std::unique_ptr<NamedMutex>> held;
  for (const std::string& name : names) {
    const std::string path = NamedMutex::LockFilePath(name);
    EXPECT_EQ(path.find('/', runtime_.path().size() + 1), std::string::npos) << path;
    EXPECT_LT(path.size() - runtime_.path().size(), 255u);
    held.push_back(std::make_unique<NamedMutex>(name));
    EXPECT_EQ(held.back()->status(), NamedMutex::Status::Created) << name;
  }
}

TEST_F(NamedMutexTest, ForeignLockFileGivesAccessDenied) {
  const std::string path = NamedMutex::LockFilePath(kName);
  int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  if (geteuid() == 0) {
    // Root opens anything; the file is foreign to an ordinary user instead.
    ASSERT_EQ(chmod(runtime_.path().c_str(), 0755), 0);
    EXPECT_EQ(StatusInChild(kName, 65534), NamedMutex::Status::AccessDenied);
  } else {
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    EXPECT_EQ(NamedMutex(kName).status(), NamedMutex::Status::AccessDenied);
  }
}
