// The helper side of the crash reporter: a fresh start of the crashed program that reads the
// crash from the pipe, writes the report files, shows the box and starts the error reporter.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "diagnostics/CrashRecord.h"
#include "diagnostics/CrashReport.h"
#include "diagnostics/CrashReporter.h"
#include "diagnostics/CrashedProcess.h"
#include "diagnostics/Minidump.h"
#include "patch/FileVersion.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "platform/Process.h"
#include "platform/WindowsProgram.h"
#include "platform/posix/DescriptorIo.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace crash_helper {
extern const char* const kHelperFdVariable = "SOLANE_CRASH_HELPER_FD";
extern const int kHelperFd = 198;
extern const int kHelperNotStartedExit = 127;
}  // namespace crash_helper

namespace {

constexpr const char* kCaption = "SolaneLauncher";
constexpr const char* kReporterName = "SolaneError.exe";

constexpr int kMaxReportCopies = 99;

// A name that is taken, by a file or by a link planted there.
bool IsTaken(int error) { return error == EEXIST || error == ELOOP; }

struct ReportFiles {
  int err = -1;
  int dmp = -1;
};

// Both report files made new and private (a dump holds the server password and the web
// sign-in), under the first names of this second that are both free.
ReportFiles CreateReportFiles(const CrashRecord& record, const std::tm& local, CrashMessageInputs& inputs) {
  const std::string nameBase(record.nameBase, strnlen(record.nameBase, sizeof(record.nameBase)));
  ReportFiles files;
  for (int copy = 1; copy <= kMaxReportCopies; ++copy) {
    inputs.names = MakeCrashReportNames(nameBase, record.timestampedNames, local, inputs.version, copy);
    files.err = platform::CreateNewPrivateFile(inputs.names.errPath.c_str());
    if (files.err < 0 && IsTaken(errno)) continue;
    files.dmp = platform::CreateNewPrivateFile(inputs.names.dmpPath.c_str());
    if (files.dmp >= 0 || !IsTaken(errno)) return files;
    if (files.err >= 0) {
      close(files.err);
      files.err = -1;
      std::remove(inputs.names.errPath.c_str());
    }
  }
  return files;
}

// Writes the dump of the stopped process; a failure is tried once more with stacks only.
void WriteDump(const CrashedProcess& process, const CrashRecord& record, int fd, CrashMessageInputs& inputs) {
  if (fd < 0) {
    inputs.outcome = CrashOutcome::kDumpNotCreated;
    return;
  }
  MinidumpCrash crash;
  crash.tid = record.tid;
  crash.signal = record.signal;
  crash.code = record.code;
  crash.faultAddress = record.faultAddress;
  crash.registers = record.hasContext ? &record.registers : nullptr;
  crash.timeStamp = static_cast<uint32_t>(record.timeSeconds);
  int error = 0;
  bool written = WriteMinidump(fd, process, crash, record.dumpMode, error);
  if (!written && ftruncate(fd, 0) == 0) written = WriteMinidump(fd, process, crash, 0, error);
  close(fd);
  inputs.outcome = written ? CrashOutcome::kDumpWritten : CrashOutcome::kDumpFailed;
  inputs.systemError = error;
}

CrashMessageInputs WriteReportFiles(const CrashRecord& record, const std::string& reporterPath) {
  CrashMessageInputs inputs;
  inputs.languageId = CatalogueLanguageForLocale(record.locale);
  // The helper is the crashed program itself, so its own version is the launcher's.
  inputs.version = FileVersion().GetParts();
  const time_t crashTime = static_cast<time_t>(record.timeSeconds);
  std::tm local{};
  localtime_r(&crashTime, &local);
  const ReportFiles files = CreateReportFiles(record, local, inputs);
  const int errFd = files.err;

  if (std::optional<CrashedProcess> process = CrashedProcess::Attach(record.pid)) {
    CrashFacts facts;
    facts.signal = record.signal;
    facts.code = record.code;
    facts.cppException = record.cppException;
    facts.hasContext = record.hasContext;
    facts.stackOverflow = record.hasContext && (record.signal == SIGSEGV || record.signal == SIGBUS) &&
                          IsStackOverflow(*process, record.registers.rsp, record.faultAddress);
    inputs.exceptionName = ExceptionName(facts);
    WriteDump(*process, record, files.dmp, inputs);
    // The other threads go on while the player reads the box, as they would have.
    process->Release();
  } else {
    inputs.outcome = CrashOutcome::kProcessUnreadable;
    if (files.dmp >= 0) {
      close(files.dmp);
      std::remove(inputs.names.dmpPath.c_str());
    }
  }
  inputs.reporterPresent = !reporterPath.empty() && platform::PathExists(reporterPath);

  const std::string text = CrashMessage(inputs);
  if (errFd >= 0) {
    platform::WriteAll(errFd, text.data(), text.size());
    close(errFd);
  }
  return inputs;
}

void ShowStartFailure(int error, uint16_t languageId) {
  int message = 0;
  switch (error) {
    case platform::kStartFileNotFound: message = kMessageCantFindProgram; break;
    case platform::kStartPathNotFound: message = kMessagePathWrong; break;
    case platform::kStartAccessDenied: message = kMessageAccessDenied; break;
    case platform::kStartWineMissing: message = kMessageWineMissing; break;
    default: return;
  }
  platform::CurrentMessageBoxProvider()->Show(LoadCatalogueStringIn(languageId, message), kCaption,
                                              platform::kBoxOk | platform::kBoxIconExclamation);
}

}  // namespace

bool IsCrashHelperRun() { return std::getenv(crash_helper::kHelperFdVariable) != nullptr; }

int RunCrashHelper() {
  const int fd = std::atoi(std::getenv(crash_helper::kHelperFdVariable));
  // Nothing the helper starts is a helper.
  unsetenv(crash_helper::kHelperFdVariable);
  CrashRecord record{};
  const bool received = fd > 2 && platform::ReadAll(fd, &record, sizeof(record)) && record.mark == kCrashRecordMark;
  if (fd > 2) close(fd);
  if (!received || record.pid != getppid()) return 1;

  const std::string folder = platform::ParentOf(record.nameBase);
  const std::string reporter = platform::ResolvePath(platform::JoinPath(folder, kReporterName));
  const CrashMessageInputs inputs = WriteReportFiles(record, reporter);

  const bool offer = OffersReporter(inputs);
  const int answer = platform::CurrentMessageBoxProvider()->Show(
      CrashMessage(inputs), kCaption, (offer ? platform::kBoxYesNo : platform::kBoxOk) | platform::kBoxIconExclamation);
  if (offer && answer == platform::kResultYes) {
    const int error = platform::StartProgramOrThroughWine(folder, platform::FileNameOf(reporter),
                                                          ReporterCommandLine(inputs.names));
    if (error != platform::kStartOk) ShowStartFailure(error, inputs.languageId);
  }
  return 0;
}
