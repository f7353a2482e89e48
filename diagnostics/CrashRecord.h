#pragma once
// What a crashed launcher tells its report helper over the pipe: plain data, filled inside the
// signal handler and read whole by the helper, which is the same program.

#include <cstdint>

// x86-64 registers as the kernel hands them to a signal handler or a tracer.
struct CrashRegisters {
  uint64_t rax, rbx, rcx, rdx, rsi, rdi, rbp, rsp;
  uint64_t r8, r9, r10, r11, r12, r13, r14, r15;
  uint64_t rip, eflags, fsBase;
  uint16_t cs, ss, ds, es, fs, gs;
  uint8_t fxsave[512];  // the FXSAVE image: x87, MXCSR and the SSE registers
  bool hasFxsave;
};

inline constexpr uint32_t kCrashRecordMark = 0x534c4352;  // "RCLS"

struct CrashRecord {
  uint32_t mark;
  int32_t pid, tid;
  int32_t signal, code;
  uint64_t faultAddress;
  bool cppException;  // an uncaught C++ exception ended in std::terminate
  bool hasContext;    // the handler received the thread's registers
  int64_t timeSeconds;
  int32_t dumpMode;
  bool timestampedNames;
  int32_t locale;
  char nameBase[260];
  CrashRegisters registers;
};
