#pragma once
// Alternate signal stacks: a handler of a fatal signal runs on one, so it runs even when the
// thread's own stack is used up.

namespace platform {

// Gives the calling thread an alternate signal stack unless it has one; it is released when
// the thread ends. The launcher's worker threads get one when they start.
void GiveThreadSignalStack();

}  // namespace platform
