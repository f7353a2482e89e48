#pragma once
// Message boxes on the terminal, for runs without a window.

#include <memory>

#include "platform/MessageBox.h"

namespace platform {

// Prints the caption and the text to standard error. When standard input is a terminal it asks
// for a button and reads the answer; otherwise (and at the end of input) it gives
// UnattendedAnswer(type). Boxes from several threads are shown one after the other.
std::shared_ptr<MessageBoxProvider> MakeTerminalMessageBox();

}  // namespace platform
