#pragma once
// The name that a crash report gives a fatal signal on Linux: the Windows exception that it
// stands for, so that reports read alike on both systems.

#include <string>

struct CrashFacts {
  int signal = 0;
  int code = 0;              // the signal's si_code
  bool cppException = false;
  bool hasContext = true;    // false: the crashed thread's state could not be read
  bool stackOverflow = false;  // the fault hit the guard area below the crashed thread's stack
};

// The crash's name as the report shows it: the Windows exception name that the signal and its
// code stand for, "Microsoft C++ Exception" for an uncaught C++ exception, the system's name of
// any other signal, "Unknown" when it has none.
std::string ExceptionName(const CrashFacts& facts);

// The crash's name as the report shows it: the Windows exception name that the signal and its
// code stand for, "Microsoft C++ Exception" for an uncaught C++ exception, the system's name of
// any other signal, "Unknown" when it has none.
std::string ExceptionName(const CrashFacts& facts);
