#include <windows.h>

#include "platform/Thread.h"

namespace platform {

void ApplyThreadPriority(ThreadPriority priority) {
  if (priority == ThreadPriority::Lowest)
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
  else if (priority == ThreadPriority::Highest)
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

}  // namespace platform
