#include "diagnostics/CrashedProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/uio.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#if !defined(__x86_64__)
#error "the crash reporter reads x86-64 registers"
#endif

namespace {

std::vector<int> ThreadIds(int pid) {
  std::vector<int> ids;
  DIR* tasks = opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
  if (!tasks) return ids;
  while (dirent* entry = readdir(tasks)) {
    char* end = nullptr;
    const long tid = std::strtol(entry->d_name, &end, 10);
    if (end && *end == '\0' && tid > 0) ids.push_back(static_cast<int>(tid));
  }
  closedir(tasks);
  return ids;
}

CrashRegisters FromTracer(const user_regs_struct& r, const user_fpregs_struct* fp) {
  CrashRegisters out{};
  out.rax = r.rax, out.rbx = r.rbx, out.rcx = r.rcx, out.rdx = r.rdx, out.rsi = r.rsi, out.rdi = r.rdi;
  out.rbp = r.rbp, out.rsp = r.rsp, out.r8 = r.r8, out.r9 = r.r9, out.r10 = r.r10, out.r11 = r.r11;
  out.r12 = r.r12, out.r13 = r.r13, out.r14 = r.r14, out.r15 = r.r15, out.rip = r.rip, out.eflags = r.eflags;
  out.fsBase = r.fs_base;
  out.cs = static_cast<uint16_t>(r.cs), out.ss = static_cast<uint16_t>(r.ss), out.ds = static_cast<uint16_t>(r.ds);
  out.es = static_cast<uint16_t>(r.es), out.fs = static_cast<uint16_t>(r.fs), out.gs = static_cast<uint16_t>(r.gs);
  if (fp) {
    static_assert(sizeof(user_fpregs_struct) == sizeof(out.fxsave));
    std::memcpy(out.fxsave, fp, sizeof(out.fxsave));
    out.hasFxsave = true;
  }
  return out;
}

// Waits for the stop that PTRACE_INTERRUPT asked for; a signal that arrives first is kept to
// be handed back when the thread is released.
bool WaitForStop(int tid, int& pendingSignal) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    int status = 0;
    if (waitpid(tid, &status, __WALL) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (!WIFSTOPPED(status)) return false;  // the thread ended meanwhile
    const int signal = WSTOPSIG(status);
    if (status >> 16 == PTRACE_EVENT_STOP) return true;
    // A signal-delivery stop: the thread is stopped all the same.
    if (signal != SIGTRAP && signal != SIGSTOP) pendingSignal = signal;
    return true;
  }
  return false;
}

}  // namespace

std::vector<MappedRegion> ParseMaps(const std::string& text) {
  std::vector<MappedRegion> regions;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    MappedRegion region;
    char permissions[5] = {};
    unsigned long long start = 0, end = 0, offset = 0;
    int pathStart = 0;
    if (std::sscanf(line.c_str(), "%llx-%llx %4s %llx %*s %*s %n", &start, &end, permissions, &offset, &pathStart) < 4)
      continue;
    region.start = start, region.end = end, region.offset = offset;
    region.readable = permissions[0] == 'r', region.writable = permissions[1] == 'w';
    region.executable = permissions[2] == 'x';
    if (pathStart > 0 && static_cast<size_t>(pathStart) < line.size()) region.path = line.substr(pathStart);
    if (region.end > region.start) regions.push_back(region);
  }
  return regions;
}

std::optional<CrashedProcess> CrashedProcess::Attach(int pid) {
  CrashedProcess process(pid);
  if (!process.StopAllThreads()) return std::nullopt;
  process.memoryFd_ = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
  if (process.memoryFd_ < 0 || !process.ReadRegions()) return std::nullopt;
  return process;
}

CrashedProcess::CrashedProcess(CrashedProcess&& other) noexcept
    : pid_(other.pid_), memoryFd_(other.memoryFd_), threads_(std::move(other.threads_)),
      regions_(std::move(other.regions_)) {
  other.memoryFd_ = -1;
  other.threads_.clear();
}

CrashedProcess::~CrashedProcess() {
  Release();
  if (memoryFd_ >= 0) close(memoryFd_);
}

bool CrashedProcess::StopAllThreads() {
  // Threads may start while others are being stopped: list again until a pass finds none new.
  std::set<int> seen;
  for (int pass = 0; pass < 16; ++pass) {
    bool foundNew = false;
    for (const int tid : ThreadIds(pid_)) {
      if (!seen.insert(tid).second) continue;
      foundNew = true;
      if (ptrace(PTRACE_SEIZE, tid, nullptr, nullptr) != 0) {
        if (errno == ESRCH) continue;  // ended meanwhile
        return false;
      }
      StoppedThread thread;
      thread.tid = tid;
      if (ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr) != 0 || !WaitForStop(tid, thread.pendingSignal)) {
        ptrace(PTRACE_DETACH, tid, nullptr, nullptr);
        continue;
      }
      user_regs_struct registers{};
      user_fpregs_struct fp{};
      const bool hasFp = ptrace(PTRACE_GETFPREGS, tid, nullptr, &fp) == 0;
      if (ptrace(PTRACE_GETREGS, tid, nullptr, &registers) != 0) {
        ptrace(PTRACE_DETACH, tid, nullptr, nullptr);
        continue;
      }
      thread.registers = FromTracer(registers, hasFp ? &fp : nullptr);
      threads_.push_back(thread);
    }
    if (!foundNew) break;
  }
  return !threads_.empty();
}

bool CrashedProcess::ReadRegions() {
  regions_ = ParseMaps(ProcFile("maps"));
  return !regions_.empty();
}

void CrashedProcess::Release() {
  for (const StoppedThread& thread : threads_)
    ptrace(PTRACE_DETACH, thread.tid, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(thread.pendingSignal)));
  threads_.clear();
}

const MappedRegion* CrashedProcess::RegionOf(uint64_t address) const {
  auto it = std::upper_bound(regions_.begin(), regions_.end(), address,
                             [](uint64_t a, const MappedRegion& r) { return a < r.end; });
  return it != regions_.end() && it->start <= address ? &*it : nullptr;
}

std::vector<uint8_t> CrashedProcess::Read(uint64_t address, size_t size) const {
  std::vector<uint8_t> bytes(size);
  size_t got = 0;
  while (got < size) {
    const ssize_t n = pread(memoryFd_, bytes.data() + got, size - got, static_cast<off_t>(address + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

std::string CrashedProcess::ProcFile(const std::string& name) const {
  std::ifstream in("/proc/" + std::to_string(pid_) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string CrashedProcess::ExecutablePath() const {
  char buffer[4096];
  const ssize_t length = readlink(("/proc/" + std::to_string(pid_) + "/exe").c_str(), buffer, sizeof(buffer) - 1);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : std::string();
}
