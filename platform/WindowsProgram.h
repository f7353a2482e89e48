#pragma once
// Windows programs on a Linux desktop: the game client is one, and players run it through Wine.
// A program whose file begins with "MZ" is started through `wine`; anything else starts as it is.

#include <string>

namespace platform {

// A StartError of its own: the program is a Windows program and no Wine was found.
inline constexpr int kStartWineMissing = 900;

// True when the file at `path` begins with "MZ", the mark of a Windows executable.
bool IsWindowsProgram(const std::string& path);

// The program that runs Windows programs: the environment variable WINE (a path, or a name
// looked up on the PATH), else `wine` on the PATH. Empty when none is there.
std::string WineProgram();

// The Wine prefix that Windows programs started from here run in: WINEPREFIX, else ~/.wine.
std::string WinePrefix();

// Starts `file` in `directory` like StartProgram; a Windows program is handed to Wine with the
// same parameters (WINEPREFIX and the rest of the environment are kept). kStartWineMissing when
// it needs Wine and there is none.
int StartProgramOrThroughWine(const std::string& directory, const std::string& file, const std::string& parameters);

}  // namespace platform
