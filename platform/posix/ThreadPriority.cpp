#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/Thread.h"

namespace platform {

void ApplyThreadPriority(ThreadPriority priority) {
  pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
  if (priority == ThreadPriority::Lowest) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(tid), 19);
  } else if (priority == ThreadPriority::Highest) {
    // Unprivileged processes may not go below their current nice value; take what is granted.
    for (int nice = -20; nice < 0; ++nice)
      if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) == 0) break;
  }
}

}  // namespace platform
