#include "diagnostics/CrashSignalName.h"

#include <signal.h>
#include <string.h>

namespace {

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
