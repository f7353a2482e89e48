#pragma once
// Looking for another program's window on the desktop.

#include <string>

namespace platform {

// True when a top-level window of class `className` titled `title` exists on the display the
// environment names. Without a reachable display (or without the display library) false.
bool FindTopLevelWindow(const std::string& className, const std::string& title);

}  // namespace platform
