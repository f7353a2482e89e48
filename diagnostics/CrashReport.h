#pragma once
// The texts of a crash report: the exception's name, the file names, the message that the box
// shows and the .ERR file holds, and the error reporter's command line.

#include <array>
#include <cstdint>
#include <ctime>
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

struct CrashReportNames {
  std::string reportPath;  // "SolaneLauncher/1.0.3.7/2026-12-05/14-16-01"
  std::string errPath;     // "<nameBase> 2026-12-05 14-16-01.ERR"
  std::string dmpPath;
};

// `nameBase` is the launcher's path without extension; without timestamped names the files are
// ".ERR" and ".DMP" in the working folder. A `copy` above 1 names the copy-th report of the same
// second ("... 14-16-01-2.ERR", ".../14-16-01-2"): report files are never overwritten.
CrashReportNames MakeCrashReportNames(const std::string& nameBase, bool timestampedNames, const std::tm& localTime,
                                      const std::array<uint32_t, 4>& version, int copy = 1);

// How far the report got, which decides its message.
enum class CrashOutcome { kHelperNotStarted, kProcessUnreadable, kDumpNotCreated, kDumpFailed, kDumpWritten };

struct CrashMessageInputs {
  CrashOutcome outcome = CrashOutcome::kDumpWritten;
  uint16_t languageId = 0;
  std::array<uint32_t, 4> version{};
  std::string exceptionName;
  CrashReportNames names;
  int systemError = 0;     // for kDumpFailed
  bool reporterPresent = false;
};

// The text of the box and of the .ERR file (at most 1299 characters).
std::string CrashMessage(const CrashMessageInputs& inputs);

// True when the box asks whether to start the error reporter.
inline bool OffersReporter(const CrashMessageInputs& inputs) {
  return inputs.outcome == CrashOutcome::kDumpWritten && inputs.reporterPresent;
}

// "/SolaneError-VANTIK:<report path> /INFO:<.ERR name> /DMP:<.DMP name> /", names without folders.
std::string ReporterCommandLine(const CrashReportNames& names);
