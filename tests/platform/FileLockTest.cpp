#include "platform/FileLock.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/ScratchDir.h"

extern char** environ;

using namespace platform;
using Status = FileLock::Status;

namespace {

constexpr const char* kHolderVariable = "SOLANE_TEST_FILE_LOCK_HOLDER";
constexpr int kReportFd = 3;

pid_t Spawn(std::vector<std::string> arguments, int reportFd) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (reportFd >= 0) posix_spawn_file_actions_adddup2(&actions, reportFd, kReportFd);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

std::string ThisTestOnly() {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  return std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
}

// The first holder is this test run again as a process of its own; it takes the lock, starts a
// program that outlives it and reports that program's id.
TEST(FileLockTest, OneHolderAtATimeUntilItDiesThoughAProgramItStartedLivesOn) {
  if (const char* path = std::getenv(kHolderVariable)) {
    FileLock lock(path);
    const pid_t sleeper = lock.held() ? Spawn({"/bin/sleep", "30"}, -1) : -1;
    (void)!write(kReportFd, &sleeper, sizeof sleeper);
    for (;;) pause();  // killed by the test, never released by hand
  }
  ScratchDir folder;
  const std::string path = folder.PathOf("SolaneLauncher.lock");
  int report[2];
  ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
  pid_t holder;
  {
    ScopedEnvironment holderPath(kHolderVariable, path);
    holder = Spawn({"/proc/self/exe", ThisTestOnly()}, report[1]);
  }
  close(report[1]);
  ASSERT_GT(holder, 0);
  pid_t sleeper = -1;
  const bool reported = read(report[0], &sleeper, sizeof sleeper) == static_cast<ssize_t>(sizeof sleeper);
  close(report[0]);
  EXPECT_TRUE(reported && sleeper > 0);
  EXPECT_EQ(FileLock(path).status(), Status::Busy);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  if (sleeper > 0) kill(sleeper, SIGKILL);
  {
    FileLock mine(path);
    EXPECT_EQ(mine.status(), Status::Held);
    EXPECT_EQ(FileLock(path).status(), Status::Busy);  // a second holder in the same process too
  }
  EXPECT_TRUE(FileLock(path).held());

  ASSERT_EQ(symlink(path.c_str(), folder.PathOf("link.lock").c_str()), 0);
  FileLock throughLink(folder.PathOf("link.lock"));
  EXPECT_EQ(std::pair(throughLink.status(), throughLink.error()), std::pair(Status::Failed, ELOOP));
  FileLock nowhere(folder.PathOf("missing/SolaneLauncher.lock"));
  EXPECT_EQ(std::pair(nowhere.status(), nowhere.error()), std::pair(Status::Failed, ENOENT));
}

}  // namespace
