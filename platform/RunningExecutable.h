#pragma once
// Replacing a program file while it may still run, as the launcher replaces its own executable.
// Where a running program's file cannot be overwritten (Windows), the old file is renamed aside,
// the new one moved into its place, and the old one removed by the next start.
#include <string>

namespace platform {

// Puts `replacement` in place of `executable`, which may be running: afterwards the name holds
// the new program, flushed to disk, with the program mode. On failure `executable` is the old
// program still. The replacement file is moved, not copied, when both lie on one file system.
bool ReplaceRunningExecutable(const std::string& replacement, const std::string& executable);

// Removes the old programs that earlier replacements of `executable` set aside, those that no
// longer run; a program calls it as it starts.
void RemoveReplacedExecutables(const std::string& executable);

}  // namespace platform
