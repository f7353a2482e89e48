// The crash reporter on Windows: the unhandled-exception filter writes the .DMP minidump through
// dbghelp (loaded only now), the .ERR report beside the executable, shows the box and, when the
// player agrees, starts the error reporter SolaneError.exe. It runs inside the crashed process,
// on the crashed thread: MiniDumpWriteDump reads the process's own memory and stops no thread
// but reads their registers, which is what it is made for.

#include "diagnostics/CrashReporter.h"

// windows.h (through WideText.h) before dbghelp.h, which needs its types.
#include "platform/win32/WideText.h"

#include <dbghelp.h>

#include <cstdlib>
#include <csignal>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include "diagnostics/CrashReport.h"
#include "patch/FileVersion.h"
#include "platform/MessageBox.h"
#include "platform/Path.h"
#include "platform/Process.h"
#include "platform/SignalStack.h"
#include "window/Catalogue.h"
#include "window/MessageIds.h"

namespace {

constexpr const char* kCaption = "SolaneLauncher";
constexpr const char* kReporterName = "SolaneError.exe";
constexpr int kMaxReportCopies = 99;
// What an uncaught C++ exception and abort() raise, so that the filter sees them too.
constexpr DWORD kCppExceptionCode = 0xE06D7363;
constexpr DWORD kFatalAppExitCode = 0x40000015;  // STATUS_FATAL_APP_EXIT

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION, PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

// Prepared at installation, so that the filter does not need to ask for it after the crash.
struct Settings {
  int dumpMode = 2;
  bool timestampedNames = true;
  std::string nameBase;
  std::string folder;
  // Grants the current user alone: a dump holds the server password and the web sign-in.
  std::vector<unsigned char> ownerSid;
  std::vector<unsigned char> acl;
  SECURITY_DESCRIPTOR descriptor{};
  SECURITY_ATTRIBUTES attributes{};
  bool privateFiles = false;
};
Settings g_settings;
LONG g_reporting = 0;

bool PreparePrivateFiles(Settings& s) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  platform::ScopedHandle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> user(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) return false;
  const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  s.ownerSid.assign(static_cast<unsigned char*>(sid), static_cast<unsigned char*>(sid) + GetLengthSid(sid));
  const PSID ownSid = s.ownerSid.data();
  s.acl.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(ownSid));
  auto* acl = reinterpret_cast<ACL*>(s.acl.data());
  return InitializeAcl(acl, static_cast<DWORD>(s.acl.size()), ACL_REVISION) &&
         AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, ownSid) &&
         InitializeSecurityDescriptor(&s.descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorOwner(&s.descriptor, ownSid, FALSE) &&
         SetSecurityDescriptorDacl(&s.descriptor, TRUE, acl, FALSE) &&
         // Not widened by what the folder hands down to its files.
         SetSecurityDescriptorControl(&s.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

// A new file only: CREATE_NEW fails on any name that is taken, a link planted there included,
// and so never writes through one.
HANDLE CreateNewPrivateFile(const std::string& path) {
  SECURITY_ATTRIBUTES* attributes = g_settings.privateFiles ? &g_settings.attributes : nullptr;
  return CreateFileW(platform::WidePath(path).c_str(), GENERIC_WRITE, 0, attributes, CREATE_NEW,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

bool IsTaken(DWORD error) { return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS; }

struct ReportFiles {
  platform::ScopedHandle err, dmp;
};

// Both report files made new, under the first names of this second that are both free.
void CreateReportFiles(const std::tm& local, CrashMessageInputs& inputs, ReportFiles& files, bool withDump) {
  for (int copy = 1; copy <= kMaxReportCopies; ++copy) {
    inputs.names = MakeCrashReportNames(g_settings.nameBase, g_settings.timestampedNames, local, inputs.version, copy);
    files.err.Reset(CreateNewPrivateFile(inputs.names.errPath));
    if (!files.err.Valid() && IsTaken(GetLastError())) continue;
    if (!withDump) return;
    files.dmp.Reset(CreateNewPrivateFile(inputs.names.dmpPath));
    if (files.dmp.Valid() || !IsTaken(GetLastError())) return;
    if (files.err.Valid()) {
      files.err.Reset();
      DeleteFileW(platform::WidePath(inputs.names.errPath).c_str());
    }
  }
}

// The system's text for a status code, from ntdll's message table, without its line ending.
std::string StatusText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
      GetModuleHandleW(L"ntdll.dll"), code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length ? platform::Narrow(std::wstring_view(buffer, length)) : "";
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text.empty() ? "Unknown" : text;
}

std::string ExceptionName(const EXCEPTION_POINTERS* pointers) {
  if (!pointers || !pointers->ExceptionRecord) return "BAD EXCEPTION POINTERS";
  const DWORD code = pointers->ExceptionRecord->ExceptionCode;
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: return "EXCEPTION_ACCESS_VIOLATION";
    case EXCEPTION_DATATYPE_MISALIGNMENT: return "EXCEPTION_DATATYPE_MISALIGNMENT";
    case EXCEPTION_BREAKPOINT: return "EXCEPTION_BREAKPOINT";
    case EXCEPTION_SINGLE_STEP: return "EXCEPTION_SINGLE_STEP";
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case EXCEPTION_FLT_DENORMAL_OPERAND: return "EXCEPTION_FLT_DENORMAL_OPERAND";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case EXCEPTION_FLT_INEXACT_RESULT: return "EXCEPTION_FLT_INEXACT_RESULT";
    case EXCEPTION_FLT_INVALID_OPERATION: return "EXCEPTION_FLT_INVALID_OPERATION";
    case EXCEPTION_FLT_OVERFLOW: return "EXCEPTION_FLT_OVERFLOW";
    case EXCEPTION_FLT_STACK_CHECK: return "EXCEPTION_FLT_STACK_CHECK";
    case EXCEPTION_FLT_UNDERFLOW: return "EXCEPTION_FLT_UNDERFLOW";
    case EXCEPTION_INT_DIVIDE_BY_ZERO: return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case EXCEPTION_INT_OVERFLOW: return "EXCEPTION_INT_OVERFLOW";
    case EXCEPTION_PRIV_INSTRUCTION: return "EXCEPTION_PRIV_INSTRUCTION";
    case EXCEPTION_IN_PAGE_ERROR: return "EXCEPTION_IN_PAGE_ERROR";
    case EXCEPTION_ILLEGAL_INSTRUCTION: return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case EXCEPTION_NONCONTINUABLE_EXCEPTION: return "EXCEPTION_NONCONTINUABLE_EXCEPTION";
    case EXCEPTION_STACK_OVERFLOW: return "EXCEPTION_STACK_OVERFLOW";
    case EXCEPTION_INVALID_DISPOSITION: return "EXCEPTION_INVALID_DISPOSITION";
    case EXCEPTION_GUARD_PAGE: return "EXCEPTION_GUARD_PAGE";
    case EXCEPTION_INVALID_HANDLE: return "EXCEPTION_INVALID_HANDLE";
    case kCppExceptionCode: return "Microsoft C++ Exception";
    default: return StatusText(code);
  }
}

MINIDUMP_TYPE MinidumpTypeOf(int dumpMode) {
  switch (dumpMode) {
    case 1: return MiniDumpWithDataSegs;
    case 2: return MiniDumpWithIndirectlyReferencedMemory;
    case 3: return MiniDumpWithFullMemory;
    default: return MiniDumpNormal;
  }
}

// The launcher's own folder first, then the system's search.
HMODULE LoadDebugHelp() {
  const std::string own = platform::JoinPath(g_settings.folder, "DBGHELP.DLL");
  if (HMODULE library = LoadLibraryW(platform::WidePath(own).c_str())) return library;
  return LoadLibraryW(L"DBGHELP.DLL");
}

// Writes the dump; a failure is tried once more with stacks only.
void WriteDump(MiniDumpWriteDumpFunction write, HANDLE file, EXCEPTION_POINTERS* pointers, DWORD crashedThread,
               CrashMessageInputs& inputs) {
  MINIDUMP_EXCEPTION_INFORMATION exception{crashedThread, pointers, FALSE};
  MINIDUMP_EXCEPTION_INFORMATION* information = pointers ? &exception : nullptr;
  const HANDLE process = GetCurrentProcess();
  const DWORD pid = GetCurrentProcessId();
  bool written = write(process, pid, file, MinidumpTypeOf(g_settings.dumpMode), information, nullptr, nullptr);
  if (!written) {
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    written = write(process, pid, file, MiniDumpNormal, information, nullptr, nullptr);
  }
  inputs.outcome = written ? CrashOutcome::kDumpWritten : CrashOutcome::kDumpFailed;
  inputs.systemError = written ? 0 : static_cast<int>(GetLastError());
}

void ShowStartFailure(int error, uint16_t languageId) {
  int message = 0;
  switch (error) {
    case platform::kStartFileNotFound: message = kMessageCantFindProgram; break;
    case platform::kStartPathNotFound: message = kMessagePathWrong; break;
    case platform::kStartAccessDenied: message = kMessageAccessDenied; break;
    default: return;
  }
  platform::CurrentMessageBoxProvider()->Show(LoadCatalogueStringIn(languageId, message), kCaption,
                                              platform::kBoxOk | platform::kBoxIconExclamation);
}

struct CrashTask {
  EXCEPTION_POINTERS* pointers;
  DWORD crashedThread;
  LONG result;
};

LONG Report(EXCEPTION_POINTERS* pointers, DWORD crashedThread) {
  CrashMessageInputs inputs;
  inputs.languageId = CatalogueLanguageForLocale(CrashReportLocale());
  inputs.version = FileVersion().GetParts();
  inputs.exceptionName = ExceptionName(pointers);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);

  const HMODULE library = LoadDebugHelp();
  const auto write = library ? reinterpret_cast<MiniDumpWriteDumpFunction>(
                                   reinterpret_cast<void*>(GetProcAddress(library, "MiniDumpWriteDump")))
                             : nullptr;
  ReportFiles files;
  CreateReportFiles(local, inputs, files, write != nullptr);
  if (!library) {
    inputs.outcome = CrashOutcome::kNoDebugLibrary;
  } else if (!write) {
    inputs.outcome = CrashOutcome::kNoDumpFunction;
  } else if (!files.dmp.Valid()) {
    inputs.outcome = CrashOutcome::kDumpNotCreated;
  } else {
    WriteDump(write, files.dmp.Get(), pointers, crashedThread, inputs);
  }
  files.dmp.Reset();
  const std::string reporter = platform::JoinPath(g_settings.folder, kReporterName);
  inputs.reporterPresent = GetFileAttributesW(platform::WidePath(reporter).c_str()) != INVALID_FILE_ATTRIBUTES;

  const std::string text = CrashMessage(inputs);
  if (files.err.Valid()) {
    DWORD done = 0;
    WriteFile(files.err.Get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    files.err.Reset();
  }
  const bool offer = OffersReporter(inputs);
  const int answer = platform::CurrentMessageBoxProvider()->Show(
      text, kCaption, (offer ? platform::kBoxYesNo : platform::kBoxOk) | platform::kBoxIconExclamation);
  if (offer && answer == platform::kResultYes) {
    const int error = platform::StartProgram(g_settings.folder, kReporterName, ReporterCommandLine(inputs.names));
    if (error != platform::kStartOk) ShowStartFailure(error, inputs.languageId);
  }
  return inputs.outcome == CrashOutcome::kDumpWritten ? EXCEPTION_EXECUTE_HANDLER : EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI RunReport(void* parameter) {
  auto* task = static_cast<CrashTask*>(parameter);
  task->result = Report(task->pointers, task->crashedThread);
  return 0;
}

// The report runs on a thread of its own, with a whole stack: the crashed thread's may be used
// up (a stack overflow), and the dump is written of the crashed thread as it stopped.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers) {
  // A second crash, of another thread or inside the report, is left to the system.
  if (InterlockedExchange(&g_reporting, 1) != 0) return EXCEPTION_CONTINUE_SEARCH;
  CrashTask task{pointers, GetCurrentThreadId(), EXCEPTION_CONTINUE_SEARCH};
  HANDLE thread = CreateThread(nullptr, 1 << 20, RunReport, &task, 0, nullptr);
  if (!thread) return Report(pointers, task.crashedThread);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return task.result;
}

// An uncaught C++ exception and abort() end the process without an exception of the system's;
// raised as one, they reach the filter like any other crash.
[[noreturn]] void RaiseCppException() {
  RaiseException(kCppExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::_Exit(3);
}

void RaiseOnAbort(int) {
  RaiseException(kFatalAppExitCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  std::_Exit(3);
}

}  // namespace

void InstallCrashReporter(int dumpMode, bool timestampedNames) {
  g_settings.dumpMode = dumpMode;
  g_settings.timestampedNames = timestampedNames;
  const std::string executable = platform::ExecutablePath();
  const size_t dot = executable.find_last_of('.');
  const size_t slash = executable.find_last_of("/\\");
  g_settings.nameBase = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                            ? executable
                            : executable.substr(0, dot);
  g_settings.folder = platform::ParentOf(executable);
  g_settings.privateFiles = PreparePrivateFiles(g_settings);
  g_settings.attributes = {sizeof(SECURITY_ATTRIBUTES), &g_settings.descriptor, FALSE};
  SetUnhandledExceptionFilter(CrashFilter);
  std::set_terminate(RaiseCppException);
  std::signal(SIGABRT, RaiseOnAbort);
  PrepareThreadForCrashReports();
}

void PrepareThreadForCrashReports() { platform::GiveThreadSignalStack(); }

// Windows reports from inside the crashed process: there is no helper run.
bool IsCrashHelperRun() { return false; }
int RunCrashHelper() { return 1; }
