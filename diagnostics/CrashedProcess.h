#pragma once
// A crashed process seen from outside: every thread stopped under ptrace with its registers,
// the memory map, and reads of its memory. Linux on x86-64.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/CrashRecord.h"

struct MappedRegion {
  uint64_t start = 0, end = 0;
  bool readable = false, writable = false, executable = false;
  uint64_t offset = 0;
  std::string path;  // empty for anonymous memory; "[stack]", "[vdso]" ... for the kernel's own
};

struct StoppedThread {
  int tid = 0;
  CrashRegisters registers{};
  int pendingSignal = 0;  // a signal the stop took from the thread, handed back on release
};

class CrashedProcess {
 public:
  // Stops every thread of `pid`; nothing when the process cannot be traced or read.
  static std::optional<CrashedProcess> Attach(int pid);
  CrashedProcess(CrashedProcess&& other) noexcept;
  CrashedProcess& operator=(CrashedProcess&&) = delete;
  ~CrashedProcess();  // releases the threads

  int Pid() const { return pid_; }
  const std::vector<StoppedThread>& Threads() const { return threads_; }
  const std::vector<MappedRegion>& Regions() const { return regions_; }
  // The region holding `address`, if any.
  const MappedRegion* RegionOf(uint64_t address) const;

  // Reads up to `size` bytes at `address`: the bytes that could be read from its start.
  std::vector<uint8_t> Read(uint64_t address, size_t size) const;
  // /proc/<pid>/<name> as it is ("maps", "status", "cmdline", "auxv").
  std::string ProcFile(const std::string& name) const;
  // The path of the process's executable.
  std::string ExecutablePath() const;

  // Lets the threads run again; also done by the destructor.
  void Release();

 private:
  explicit CrashedProcess(int pid) : pid_(pid) {}
  bool StopAllThreads();
  bool ReadRegions();

  int pid_ = 0;
  int memoryFd_ = -1;
  std::vector<StoppedThread> threads_;
  std::vector<MappedRegion> regions_;
};

// The regions of a /proc/<pid>/maps text.
std::vector<MappedRegion> ParseMaps(const std::string& text);
