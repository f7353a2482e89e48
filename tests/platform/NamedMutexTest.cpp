#include "platform/NamedMutex.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchDir.h"

extern char** environ;

using namespace platform;
using Status = NamedMutex::Status;

namespace {

constexpr const char* kName = "SolaneLauncher-VANTIK";

class NamedMutexTest : public ::testing::Test {
 protected:
  ScratchDir runtime_;
  ScopedEnvironment runtimeFolder_{"XDG_RUNTIME_DIR", runtime_.Path()};
};

TEST_F(NamedMutexTest, HeldForTheLifeOfTheObject) {
  {
    NamedMutex first(kName);
    EXPECT_EQ(first.status(), Status::Created);
    EXPECT_EQ(NamedMutex(kName).status(), Status::AlreadyExists);
    EXPECT_EQ(NamedMutex("SolaneLauncher-OTHER").status(), Status::Created);
  }
  EXPECT_EQ(NamedMutex(kName).status(), Status::Created);
}

TEST_F(NamedMutexTest, FreedWhenTheHolderDiesThoughAProgramItStartedLivesOn) {
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t holder = fork();
  if (holder == 0) {
    NamedMutex mutex(kName);
    char sleepPath[] = "/bin/sleep", seconds[] = "30";
    char* arguments[] = {sleepPath, seconds, nullptr};
    pid_t sleeper = -1;
    posix_spawn(&sleeper, sleepPath, nullptr, nullptr, arguments, environ);
    (void)!write(pipeFds[1], &sleeper, sizeof sleeper);
    for (;;) pause();  // killed by the test, never released by hand
  }
  pid_t sleeper = -1;
  ASSERT_EQ(read(pipeFds[0], &sleeper, sizeof sleeper), static_cast<ssize_t>(sizeof sleeper));
  EXPECT_EQ(NamedMutex(kName).status(), Status::AlreadyExists);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_EQ(NamedMutex(kName).status(), Status::Created);
  kill(sleeper, SIGKILL);
  close(pipeFds[0]);
  close(pipeFds[1]);
}

TEST_F(NamedMutexTest, NamesMapToDistinctSafeFiles) {
  std::vector<std::unique_ptr<NamedMutex>> held;
  for (const std::string& name : {std::string("Global\\a/b"), std::string("Global_a_b"), std::string(".."),
                                  std::string(300, 'n'), std::string(300, 'n') + "x"}) {
    const std::string path = NamedMutex::LockFilePath(name);
    EXPECT_EQ(path.substr(0, path.rfind('/')), runtime_.Path()) << path;
    held.push_back(std::make_unique<NamedMutex>(name));
    EXPECT_EQ(held.back()->status(), Status::Created) << name;  // none shares a file with another
  }
}

}  // namespace
