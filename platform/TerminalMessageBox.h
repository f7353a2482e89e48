#pragma once
// Message boxes on the terminal, for runs without a window.

#include <functional>
#include <memory>
#include <optional>

#include "platform/MessageBox.h"

namespace platform {

struct TerminalBoxOptions {
  int inputFd = 0;
  // Whether the player can be asked; by default, whether the input is a terminal.
  std::optional<bool> interactive;
  // Polled about every 50 ms while a box waits for the player: a result (kResultOk ...) ends
  // the wait with that answer, 0 keeps waiting. Empty: only the player ends the wait.
  std::function<int(unsigned type)> release;
  // Told true before a box is printed and false once it is answered.
  std::function<void(bool open)> opening;
};

// Prints the caption and the text to standard error. When the player can be asked it asks for
// a button and reads the answer; otherwise (and at the end of input) it gives
// UnattendedAnswer(type). Boxes from several threads are shown one after the other.
std::shared_ptr<MessageBoxProvider> MakeTerminalMessageBox(TerminalBoxOptions options = {});

}  // namespace platform
