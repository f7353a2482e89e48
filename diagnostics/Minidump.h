#pragma once
// Writes a minidump in the standard format ("MDMP") of a crashed process stopped under ptrace:
// system information, every thread with its registers and stack, the modules with their ELF
// build ids as code-view records, the memory that the dump mode selects, the exception record
// (the signal as its code, as Linux minidumps carry it) and the process's maps, status, command
// line and auxiliary vector as Linux streams. Debuggers (lldb --core) read it.

#include <cstdint>

#include "diagnostics/CrashRecord.h"
#include "diagnostics/CrashedProcess.h"

// 0 stacks; 1 also the executable's writable data; 2 also the memory that stacks and registers
// point to (bounded); 3 all readable memory (bounded). Any other value is 0.
int MinidumpTypeOf(int dumpMode);

struct MinidumpCrash {
  int tid = 0;
  int signal = 0, code = 0;
  uint64_t faultAddress = 0;
  const CrashRegisters* registers = nullptr;  // the crashed thread's registers at the fault, if known
  uint32_t timeStamp = 0;
};

// Writes the dump into `fd` (an empty file). False on a write failure, with its error number.
bool WriteMinidump(int fd, const CrashedProcess& process, const MinidumpCrash& crash, int dumpMode, int& systemError);

// True when a fault at `faultAddress` by a thread whose stack pointer is `stackPointer` hit the
// unmapped or guard area just below its stack: a stack overflow.
bool IsStackOverflow(const CrashedProcess& process, uint64_t stackPointer, uint64_t faultAddress);
