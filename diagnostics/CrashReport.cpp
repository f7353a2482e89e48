#include "diagnostics/CrashReport.h"

#include <signal.h>

#include <cstdio>
#include <cstring>

#include "diagnostics/MessageText.h"
#include "platform/Path.h"
#include "window/MessageIds.h"

namespace {

constexpr size_t kMaxPathText = 259;
constexpr size_t kMaxMessageText = 1299;

std::string Cut(std::string text, size_t length) {
  if (text.size() > length) text.resize(length);
  return text;
}

const char* FloatingPointName(int code) {
  switch (code) {
    case FPE_INTDIV: return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case FPE_INTOVF: return "EXCEPTION_INT_OVERFLOW";
    case FPE_FLTDIV: return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case FPE_FLTOVF: return "EXCEPTION_FLT_OVERFLOW";
    case FPE_FLTUND: return "EXCEPTION_FLT_UNDERFLOW";
    case FPE_FLTRES: return "EXCEPTION_FLT_INEXACT_RESULT";
    case FPE_FLTINV: return "EXCEPTION_FLT_INVALID_OPERATION";
    case FPE_FLTSUB: return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    default: return nullptr;
  }
}

}  // namespace

std::string ExceptionName(const CrashFacts& facts) {
  if (!facts.hasContext) return "BAD EXCEPTION POINTERS";
  if (facts.cppException) return "Microsoft C++ Exception";
  if ((facts.signal == SIGSEGV || facts.signal == SIGBUS) && facts.stackOverflow) return "EXCEPTION_STACK_OVERFLOW";
  switch (facts.signal) {
    case SIGSEGV: return "EXCEPTION_ACCESS_VIOLATION";
    case SIGBUS: return facts.code == BUS_ADRALN ? "EXCEPTION_DATATYPE_MISALIGNMENT" : "EXCEPTION_IN_PAGE_ERROR";
    case SIGILL:
      return facts.code == ILL_PRVOPC || facts.code == ILL_PRVREG ? "EXCEPTION_PRIV_INSTRUCTION"
                                                                   : "EXCEPTION_ILLEGAL_INSTRUCTION";
    case SIGTRAP: return facts.code == TRAP_TRACE ? "EXCEPTION_SINGLE_STEP" : "EXCEPTION_BREAKPOINT";
    case SIGFPE:
      if (const char* name = FloatingPointName(facts.code)) return name;
      break;
    default: break;
  }
  const char* description = sigdescr_np(facts.signal);
  return description ? description : "Unknown";
}

CrashReportNames MakeCrashReportNames(const std::string& nameBase, bool timestampedNames, const std::tm& t,
                                      const std::array<uint32_t, 4>& version, int copy) {
  char timeText[kMaxPathText + 1];
  std::snprintf(timeText, sizeof(timeText), " %04d-%02d-%02d %02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1,
                t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  char reportPath[kMaxPathText + 1];
  std::snprintf(reportPath, sizeof(reportPath), "SolaneLauncher/%u.%u.%u.%u/%04d-%02d-%02d/%02d-%02d-%02d", version[0],
                version[1], version[2], version[3], t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
                t.tm_sec);
  const std::string suffix = copy > 1 ? "-" + std::to_string(copy) : "";
  const std::string base = (timestampedNames ? Cut(nameBase, kMaxPathText) + timeText : "") + suffix;
  return {reportPath + suffix, base + ".ERR", base + ".DMP"};
}

std::string CrashMessage(const CrashMessageInputs& in) {
  auto text = [&](int id) { return DiagnosticText(in.languageId, id); };
  std::string message;
  switch (in.outcome) {
    case CrashOutcome::kHelperNotStarted: message = text(kMessageCrashNoHelper); break;
    case CrashOutcome::kProcessUnreadable: message = text(kMessageCrashCannotRead); break;
    case CrashOutcome::kDumpNotCreated:
      message = FillPlaceholders(text(kMessageCrashNoDumpFile), {in.names.dmpPath});
      break;
    case CrashOutcome::kDumpFailed:
      message = FillPlaceholders(text(kMessageCrashDumpFailed), {in.names.dmpPath, std::to_string(in.systemError)});
      break;
    case CrashOutcome::kDumpWritten:
      message = FillPlaceholders(text(kMessageCrashReport),
                                 {std::to_string(in.version[0]), std::to_string(in.version[1]),
                                  std::to_string(in.version[2]), std::to_string(in.version[3]), in.exceptionName,
                                  in.names.dmpPath, in.names.errPath});
      if (in.reporterPresent) {
        message += text(kMessageCrashOfferReporter);
      } else {
        for (int id = kMessageCrashInstructionsFirst; id <= kMessageCrashInstructionsLast; ++id) message += text(id);
      }
      break;
  }
  return Cut(message, kMaxMessageText);
}

std::string ReporterCommandLine(const CrashReportNames& names) {
  return "/SolaneError-VANTIK:" + names.reportPath + " /INFO:" + platform::FileNameOf(names.errPath) +
         " /DMP:" + platform::FileNameOf(names.dmpPath) + " /";
}
