#include "platform/FileLock.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/ScratchDir.h"

extern char** environ;

using namespace platform;
using Status = FileLock::Status;

namespace {

TEST(FileLockTest, OneHolderAtATimeUntilItDiesThoughAProgramItStartedLivesOn) {
  ScratchDir folder;
  const std::string path = folder.PathOf("SolaneLauncher.lock");
  int report[2];
  ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
  // The holder, a process of its own, takes the lock, starts a program that outlives it and reports that program's
  // id; it is killed by the test, never released by hand.
  const pid_t holder = fork();
  if (holder == 0) {
    FileLock lock(path);
    char* sleep[] = {const_cast<char*>("/bin/sleep"), const_cast<char*>("30"), nullptr};
    pid_t sleeper = -1;  // posix_spawn returns once the program runs, so no copy of the lock is left in it
    if (!lock.held() || posix_spawn(&sleeper, sleep[0], nullptr, nullptr, sleep, environ) != 0) sleeper = -1;
    (void)!write(report[1], &sleeper, sizeof sleeper);
    for (;;) pause();
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

  // A FIFO in its place is refused at once. (The end held open here lets an open that would wait
  // for a writer go on, so that a fault shows as a taken lock rather than a hung test.)
  const std::string fifo = folder.PathOf("fifo.lock");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  FileLock throughFifo(fifo);
  EXPECT_EQ(std::pair(throughFifo.status(), throughFifo.error()), std::pair(Status::Failed, EINVAL));
  close(writer);
}

}  // namespace
