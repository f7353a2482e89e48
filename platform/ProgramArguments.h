#pragma once
// The arguments a program was started with, in UTF-8 as the launcher holds its texts.
#include <string>
#include <vector>

namespace platform {

// The arguments after the program's name. On Windows they are read again from the wide command
// line, since `argv` holds them in the system's code page, where a folder under a Korean or
// Japanese user name turns into question marks; elsewhere `argv` holds the bytes given.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
