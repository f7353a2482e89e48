#pragma once
// The standard streams of a program that opens a window by default. On Windows the launcher is a
// window program, so that a player starting it from the desktop gets no console window; a run
// that talks on the terminal (--console, --help, --version, a malformed option) takes the console
// it was started from here. Elsewhere the streams are always the terminal's, and this does nothing.

namespace platform {

// Keeps every standard stream that the starting program handed over (a redirection, a pipe) and
// points the missing ones at the starting program's console, or at a console of its own when
// there is none and `createIfNone` is set. Call before anything is printed.
void UseStartingConsole(bool createIfNone);

}  // namespace platform
