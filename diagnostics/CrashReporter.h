#pragma once
// The crash reporter. A fatal signal (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS)
// or an uncaught C++ exception runs a handler that does only async-signal-safe work: it starts
// this same program again as a helper (execve), hands it the crash over a pipe, lets it trace
// the process, waits for it, and lets the signal end the process. The helper, a sound process,
// stops every thread, writes the .DMP minidump and the .ERR report beside the executable, shows
// the box and, when the player agrees, starts the error reporter SolaneError.exe.

// Installs the handlers for the life of the process; start-up calls it first with (2, true).
// `dumpMode` 0 to 3 chooses the minidump's content (see Minidump.h); `timestampedNames` names
// the files "<executable without extension> YYYY-MM-DD HH-MM-SS.ERR/.DMP".
void InstallCrashReporter(int dumpMode, bool timestampedNames);

// Gives the calling thread a signal stack of its own, so that even its stack overflow can be
// reported. InstallCrashReporter does it for its own thread; platform::Thread for its workers.
void PrepareThreadForCrashReports();

// True when this process was started as a crashed program's report helper; the program's entry
// then runs RunCrashHelper, once it has chosen how boxes are shown, and nothing else.
bool IsCrashHelperRun();
// The helper's whole work; its result is the process's exit code.
int RunCrashHelper();
