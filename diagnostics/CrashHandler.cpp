// The crashed side of the crash reporter: everything here after installation runs inside a
// signal handler, so it only copies into memory prepared beforehand and makes system calls.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <string>

#include "diagnostics/CrashRecord.h"
#include "diagnostics/CrashReporter.h"
#include "diagnostics/MessageText.h"
#include "patch/PatchEngine.h"
#include "platform/Path.h"
#include "platform/SignalStack.h"
#include "platform/posix/DescriptorIo.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

extern char** environ;

namespace crash_helper {
// Shared with the helper side (CrashHelper.cpp).
extern const char* const kHelperFdVariable;
extern const int kHelperFd;
extern const int kHelperNotStartedExit;
}  // namespace crash_helper

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
constexpr size_t kMaxEnvironment = 1024;
constexpr size_t kMessageSize = 1300;
constexpr int kLocaleCount = 5;  // 0 stands for any locale outside 1 to 4

// Prepared at installation: the handler only reads it (and fills the record).
struct Prepared {
  CrashRecord record;
  char executable[4096];
  char helperVariable[64];
  char noHelperText[kLocaleCount][kMessageSize];
  long utcOffset;
  char* environment[kMaxEnvironment + 2];
};
Prepared g_prepared;
std::atomic<int> g_reportingThread{0};
std::atomic<bool> g_cppException{false};

int CurrentThreadId() { return static_cast<int>(syscall(SYS_gettid)); }

void CopyText(char* to, size_t size, const std::string& text) {
  const size_t length = std::min(size - 1, text.size());
  std::memcpy(to, text.data(), length);
  to[length] = '\0';
}

void CopyRegisters(const ucontext_t& context, CrashRegisters& r) {
  const greg_t* g = context.uc_mcontext.gregs;
  r.rax = g[REG_RAX], r.rbx = g[REG_RBX], r.rcx = g[REG_RCX], r.rdx = g[REG_RDX];
  r.rsi = g[REG_RSI], r.rdi = g[REG_RDI], r.rbp = g[REG_RBP], r.rsp = g[REG_RSP];
  r.r8 = g[REG_R8], r.r9 = g[REG_R9], r.r10 = g[REG_R10], r.r11 = g[REG_R11];
  r.r12 = g[REG_R12], r.r13 = g[REG_R13], r.r14 = g[REG_R14], r.r15 = g[REG_R15];
  r.rip = g[REG_RIP], r.eflags = g[REG_EFL];
  const uint64_t segments = static_cast<uint64_t>(g[REG_CSGSFS]);
  r.cs = static_cast<uint16_t>(segments), r.gs = static_cast<uint16_t>(segments >> 16);
  r.fs = static_cast<uint16_t>(segments >> 32), r.ss = 0x2b;  // the user data segment
  r.hasFxsave = context.uc_mcontext.fpregs != nullptr;
  if (r.hasFxsave) std::memcpy(r.fxsave, context.uc_mcontext.fpregs, sizeof(r.fxsave));
}

// Runs in the child between _Fork and execve: the environment with the helper's variable.
char** HelperEnvironment() {
  size_t count = 0;
  const size_t nameLength = std::strlen(crash_helper::kHelperFdVariable);
  for (char** entry = environ; entry && *entry && count < kMaxEnvironment; ++entry)
    if (std::strncmp(*entry, crash_helper::kHelperFdVariable, nameLength) != 0) g_prepared.environment[count++] = *entry;
  g_prepared.environment[count++] = g_prepared.helperVariable;
  g_prepared.environment[count] = nullptr;
  return g_prepared.environment;
}

// Starts the helper, hands it the record and waits for it. False when it could not be started.
bool ReportThroughHelper(const CrashRecord& record) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return false;
  const pid_t helper = _Fork();
  if (helper < 0) {
    close(pipeEnds[0]), close(pipeEnds[1]);
    return false;
  }
  if (helper == 0) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);  // the crash's signal is blocked in the handler
    if (dup2(pipeEnds[0], crash_helper::kHelperFd) < 0) _exit(crash_helper::kHelperNotStartedExit);
    char* arguments[] = {g_prepared.executable, nullptr};
    char** environment = HelperEnvironment();
    // The running file first: the installed one may have been replaced since it started.
    execve("/proc/self/exe", arguments, environment);
    execve(g_prepared.executable, arguments, environment);
    _exit(crash_helper::kHelperNotStartedExit);
  }
  close(pipeEnds[0]);
  prctl(PR_SET_PTRACER, helper, 0, 0, 0);  // where Yama restricts tracing to ancestors
  platform::WriteAll(pipeEnds[1], &record, sizeof(record));
  close(pipeEnds[1]);
  int status = 0;
  while (waitpid(helper, &status, 0) < 0) {
    if (errno != EINTR) return true;  // children are reaped elsewhere: it ran all the same
  }
  return !(WIFEXITED(status) && WEXITSTATUS(status) == crash_helper::kHelperNotStartedExit);
}

// Digits of `value`, at least `width` of them, at `out`; returns the end.
char* PutNumber(char* out, long value, int width) {
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && count < 20);
  while (count < width) digits[count++] = '0';
  while (count > 0) *out++ = digits[--count];
  return out;
}

// The .ERR path of the crash in the local time of the installation's time zone offset; a `copy`
// above 1 names a later report of the same second, as the helper names them.
void NoHelperReportPath(const CrashRecord& record, int copy, char* path, size_t size) {
  // Days to civil date (proleptic Gregorian), without the time zone functions.
  const long local = static_cast<long>(record.timeSeconds) + g_prepared.utcOffset;
  long days = local / 86400, seconds = local % 86400;
  if (seconds < 0) seconds += 86400, days -= 1;
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const long dayOfEra = days - era * 146097;
  const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const long monthIndex = (5 * dayOfYear + 2) / 153;
  const long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const long year = yearOfEra + era * 400 + (month <= 2);

  char text[400];
  char* out = text;
  if (record.timestampedNames) {
    const size_t baseLength = strnlen(record.nameBase, sizeof(record.nameBase));
    std::memcpy(out, record.nameBase, baseLength);
    out += baseLength;
    *out++ = ' ';
    out = PutNumber(out, year, 4), *out++ = '-', out = PutNumber(out, month, 2), *out++ = '-';
    out = PutNumber(out, day, 2), *out++ = ' ', out = PutNumber(out, seconds / 3600, 2), *out++ = '-';
    out = PutNumber(out, seconds / 60 % 60, 2), *out++ = '-', out = PutNumber(out, seconds % 60, 2);
  }
  if (copy > 1) *out++ = '-', out = PutNumber(out, copy, 1);
  std::memcpy(out, ".ERR", 5);
  const size_t length = std::min(size - 1, std::strlen(text));
  std::memcpy(path, text, length);
  path[length] = '\0';
}

// Without a helper nothing sound is left to show a box: the text goes to the .ERR file and to
// standard error, where the terminal box would have printed it.
void WriteNoHelperReport(const CrashRecord& record) {
  const int locale = record.locale >= 1 && record.locale < kLocaleCount ? record.locale : 0;
  const char* text = g_prepared.noHelperText[locale];
  char path[300];
  int fd = -1;
  // Never an existing file or a link planted under the name: the next free name instead.
  for (int copy = 1; copy <= 99 && fd < 0; ++copy) {
    NoHelperReportPath(record, copy, path, sizeof(path));
    fd = platform::CreateNewPrivateFile(path);
    if (fd < 0 && errno != EEXIST && errno != ELOOP) break;
  }
  if (fd >= 0) {
    platform::WriteAll(fd, text, std::strlen(text));
    close(fd);
  }
  static const char kCaption[] = "\n[SolaneLauncher]\n";
  platform::WriteAll(STDERR_FILENO, kCaption, sizeof(kCaption) - 1);
  platform::WriteAll(STDERR_FILENO, text, std::strlen(text));
  platform::WriteAll(STDERR_FILENO, "\n", 1);
}

// Ends the process with the signal's default action, as if no handler had been there.
void DieBySignal(int signal) {
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigemptyset(&standard.sa_mask);
  sigaction(signal, &standard, nullptr);
  // Delivered as soon as the handler returns and the signal is unblocked.
  syscall(SYS_tgkill, getpid(), CurrentThreadId(), signal);
}

void OnCrashSignal(int signal, siginfo_t* info, void* context) {
  const int tid = CurrentThreadId();
  int reporting = 0;
  if (!g_reportingThread.compare_exchange_strong(reporting, tid)) {
    // A crash while reporting ends the process at once; another thread's crash waits for the
    // report under way, which ends the process.
    if (reporting == tid) return DieBySignal(signal);
    for (;;) pause();
  }
  CrashRecord& record = g_prepared.record;
  record.pid = getpid();
  record.tid = tid;
  record.signal = signal;
  record.code = info ? info->si_code : 0;
  record.faultAddress = info ? reinterpret_cast<uint64_t>(info->si_addr) : 0;
  record.cppException = signal == SIGABRT && g_cppException.load();
  record.hasContext = context != nullptr;
  if (context) CopyRegisters(*static_cast<const ucontext_t*>(context), record.registers);
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  record.timeSeconds = now.tv_sec;
  const PatchEngine* engine = PatchEngine::Existing();
  record.locale = engine ? engine->GetLocale() : 1;
  if (!ReportThroughHelper(record)) WriteNoHelperReport(record);
  DieBySignal(signal);
}

[[noreturn]] void OnTerminate() {
  g_cppException = std::current_exception() != nullptr;
  std::abort();
}

// Everything before the last "." of the file name: a dot in a folder name is not an extension.
std::string NameBaseOf(const std::string& executable) {
  const size_t slash = executable.rfind('/');
  const size_t dot = executable.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? executable.substr(0, dot)
                                                                                  : executable;
}

}  // namespace

void PrepareThreadForCrashReports() { platform::GiveThreadSignalStack(); }

void InstallCrashReporter(int dumpMode, bool timestampedNames) {
  const std::string executable = platform::ExecutablePath();
  CrashRecord& record = g_prepared.record;
  record.mark = kCrashRecordMark;
  record.dumpMode = dumpMode;
  record.timestampedNames = timestampedNames;
  CopyText(record.nameBase, sizeof(record.nameBase), NameBaseOf(executable));
  CopyText(g_prepared.executable, sizeof(g_prepared.executable), executable);
  CopyText(g_prepared.helperVariable, sizeof(g_prepared.helperVariable),
           std::string(crash_helper::kHelperFdVariable) + "=" + std::to_string(crash_helper::kHelperFd));
  for (int locale = 0; locale < kLocaleCount; ++locale)
    CopyText(g_prepared.noHelperText[locale], kMessageSize,
             DiagnosticText(CatalogueLanguageForLocale(locale), kMessageCrashNoHelper));
  const time_t now = time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  g_prepared.utcOffset = local.tm_gmtoff;

  PrepareThreadForCrashReports();
  struct sigaction action {};
  action.sa_sigaction = OnCrashSignal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (const int signal : kFatalSignals) sigaction(signal, &action, nullptr);
  std::set_terminate(OnTerminate);
}
