#include "platform/SignalStack.h"

#include <windows.h>

namespace platform {

// A stack overflow's handler runs in the room this keeps at the end of the thread's stack.
void GiveThreadSignalStack() {
  ULONG reserve = 64 * 1024;
  SetThreadStackGuarantee(&reserve);
}

}  // namespace platform
