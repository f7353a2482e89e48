// A program that installs the crash reporter as the launcher's start-up does and then crashes in
// the way its argument names, so that the launcher itself never carries a crash switch:
//
//   solane_crash_program null-write | divide-by-zero | abort | uncaught-exception | stack-overflow
//
// Its boxes (the report's, in the helper run on Linux, in the crashed process on Windows) are
// shown like the terminal's, answering Yes when SOLANE_CRASH_ANSWER is "yes" (the unattended
// answer otherwise). It speaks English, without an engine: the program links on systems whose
// engine is not ported yet.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "diagnostics/CrashReport.h"
#include "diagnostics/CrashReporter.h"
#include "patch/VersionNoteDefine.h"
#include "platform/MessageBox.h"

SOLANE_DEFINE_VERSION_NOTE(1, 0, 3, 7);

#define CRASHING __attribute__((noinline, no_sanitize("address", "undefined")))

namespace {

class AnsweringBox final : public platform::MessageBoxProvider {
 public:
  int Show(const std::string& text, const std::string& caption, unsigned type) override {
    std::fprintf(stderr, "\n[%s]\n%s\n", caption.c_str(), text.c_str());
    const char* answer = std::getenv("SOLANE_CRASH_ANSWER");
    if (platform::ButtonsOf(type) == platform::kBoxYesNo && answer && std::strcmp(answer, "yes") == 0)
      return platform::kResultYes;
    return platform::UnattendedAnswer(type);
  }
};

volatile int g_zero = 0;
int* volatile g_null = nullptr;

CRASHING void CrashByNullWrite() { *g_null = 7; }
CRASHING int CrashByDivideByZero() { return 100 / g_zero; }
CRASHING void CrashByAbort() { std::abort(); }
CRASHING void CrashByUncaughtException() { throw std::runtime_error("nobody catches this"); }
CRASHING int CrashByStackOverflow(int depth) {
  volatile char frame[512];
  frame[depth % sizeof(frame)] = static_cast<char>(depth);
  // Never false; the compiler cannot know.
  return g_zero == 0 ? CrashByStackOverflow(depth + 1) + frame[0] : 0;
}

}  // namespace

int CrashReportLocale() { return 4; }  // USA

int main(int argc, char** argv) {
  platform::SetMessageBoxProvider(std::make_shared<AnsweringBox>());
  if (IsCrashHelperRun()) return RunCrashHelper();
  if (argc < 2) return 2;
  InstallCrashReporter(argc > 2 ? std::atoi(argv[2]) : 2, true);
  // A second thread, idle, so the dump has more than the crashed one.
  std::thread idle([] { std::this_thread::sleep_for(std::chrono::hours(1)); });
  idle.detach();

  const std::string kind = argv[1];
  if (kind == "null-write") CrashByNullWrite();
  if (kind == "divide-by-zero") std::printf("%d\n", CrashByDivideByZero());
  if (kind == "abort") CrashByAbort();
  if (kind == "uncaught-exception") CrashByUncaughtException();
  if (kind == "stack-overflow") std::printf("%d\n", CrashByStackOverflow(0));
  return 3;
}
