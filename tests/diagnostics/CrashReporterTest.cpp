#include "diagnostics/CrashReporter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/FixtureServer.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"

namespace fs = std::filesystem;

namespace {

// The sanitizers must leave the fatal signals to the reporter.
constexpr const char* kSanitizerOptions =
    "ASAN_OPTIONS=handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:detect_leaks=0";

struct Crash {
  ProgramResult run;
  std::string errPath, dmpPath, errText;
};

class CrashReporterTest : public ::testing::Test {
 protected:
  CrashReporterTest() {
    fs::create_directories(dir_);
    fs::copy_file(SOLANE_CRASH_PROGRAM, program_);
  }

  // Runs the installed program until it, its helper and what the helper started have ended.
  Crash CrashBy(const std::string& kind, std::vector<std::string> environment = {}, const std::string& dumpMode = "2") {
    // Links planted by a test stay; they are never taken for a report.
    auto isReport = [](const fs::directory_entry& entry, const char* extension) {
      return entry.path().extension() == extension && !entry.is_symlink();
    };
    for (const auto& entry : fs::directory_iterator(dir_))
      if (isReport(entry, ".ERR") || isReport(entry, ".DMP")) fs::remove(entry.path());
    environment.push_back(kSanitizerOptions);
    environment.push_back("DISPLAY");
    Crash crash{RunProgram({program_, kind, dumpMode}, environment, 120), {}, {}, {}};
    for (const auto& entry : fs::directory_iterator(dir_)) {
      if (!isReport(entry, ".ERR") && !isReport(entry, ".DMP")) continue;
      if (entry.path().extension() == ".ERR") crash.errPath = entry.path().string();
      if (entry.path().extension() == ".DMP") crash.dmpPath = entry.path().string();
    }
    if (!crash.errPath.empty())
      crash.errText = scratch_.Read("my games/" + fs::path(crash.errPath).filename().string()).value_or("");
    return crash;
  }

  std::string Backtrace(const std::string& dump) {
    return RunProgram({"/usr/bin/lldb", "--no-lldbinit", "--batch", "-o", "bt", "--core", dump, program_}).output;
  }

  ScratchDir scratch_;
  const std::string dir_ = scratch_.PathOf("my games");
  const std::string program_ = dir_ + "/SolaneLauncher";
};

TEST_F(CrashReporterTest, EachCrashLeavesTheBoxTextInTheErrFileAndADumpWhoseBacktraceNamesTheCrashingFunction) {
  const struct {
    const char *kind, *exceptionName, *function;
  } cases[] = {
      {"null-write", "EXCEPTION_ACCESS_VIOLATION", "CrashByNullWrite"},
      {"divide-by-zero", "EXCEPTION_INT_DIVIDE_BY_ZERO", "CrashByDivideByZero"},
      {"abort", "Aborted", "CrashByAbort"},
      {"uncaught-exception", "Microsoft C++ Exception", "CrashByUncaughtException"},
      {"stack-overflow", "EXCEPTION_STACK_OVERFLOW", "CrashByStackOverflow"},
  };
  const std::regex reportName(R"(SolaneLauncher \d{4}-\d\d-\d\d \d\d-\d\d-\d\d\.ERR)");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const Crash crash = CrashBy(c.kind);
    EXPECT_EQ(crash.run.exitCode, -1) << crash.run.output;  // the signal still ends the process
    ASSERT_TRUE(std::regex_match(fs::path(crash.errPath).filename().string(), reportName)) << crash.run.output;
    EXPECT_EQ(crash.dmpPath, crash.errPath.substr(0, crash.errPath.size() - 4) + ".DMP");
    // The box (the terminal's form) shows exactly what the .ERR file holds.
    EXPECT_NE(crash.run.output.find("\n[SolaneLauncher]\n" + crash.errText + "\n"), std::string::npos)
        << crash.run.output;
    EXPECT_EQ(crash.errText.rfind("SolaneLauncher Version : 1.0.3.7\r\n", 0), 0u) << crash.errText;
    EXPECT_NE(crash.errText.find(std::string("[") + c.exceptionName + "] error"), std::string::npos) << crash.errText;
    EXPECT_NE(crash.errText.find(" " + crash.dmpPath + " \r\n " + crash.errPath + " \r\n"), std::string::npos);
    // Without the error reporter the player is told how to send the files by hand.
    EXPECT_NE(crash.errText.find("If you do have attached file or not."), std::string::npos);

    const std::string backtrace = Backtrace(crash.dmpPath);
    EXPECT_NE(backtrace.find(c.function), std::string::npos) << backtrace;
  }
}

// A dump holds the server's password: the report files are the owner's alone, and a link
// planted under the name of a coming second is neither followed nor replaced.
TEST_F(CrashReporterTest, ReportFilesAreNewAndPrivate) {
  scratch_.Write("victim", "kept");
  const time_t now = time(nullptr);
  for (time_t second = now - 1; second < now + 60; ++second) {
    std::tm local{};
    localtime_r(&second, &local);
    char stamp[64];
    std::strftime(stamp, sizeof(stamp), "SolaneLauncher %Y-%m-%d %H-%M-%S", &local);
    for (const char* extension : {".ERR", ".DMP"})
      fs::create_symlink(scratch_.PathOf("victim"), dir_ + "/" + stamp + extension);
  }
  const Crash crash = CrashBy("null-write", {}, "0");
  EXPECT_EQ(scratch_.Read("victim"), "kept");
  ASSERT_NE(crash.errPath, "") << crash.run.output;
  EXPECT_EQ(crash.errPath.substr(crash.errPath.size() - 6), "-2.ERR");
  EXPECT_EQ(crash.dmpPath, crash.errPath.substr(0, crash.errPath.size() - 4) + ".DMP");
  for (const std::string& path : {crash.errPath, crash.dmpPath})
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write) << path;
  EXPECT_NE(crash.errText.find(crash.dmpPath), std::string::npos);
}

TEST_F(CrashReporterTest, DumpModesChooseHowMuchMemoryTheDumpHolds) {
  // mode, minidump type in the header, the smallest and largest size that content gives
  const std::tuple<const char*, uint64_t, uintmax_t, uintmax_t> modes[] = {
      {"0", 0x0, 1, 1 << 20}, {"2", 0x40, 1, 4 << 20}, {"1", 0x1, 1 << 20, 256 << 20}, {"3", 0x2, 64 << 20, 3ull << 30}};
  uintmax_t previous = 0;
  for (const auto& [mode, type, smallest, largest] : modes) {
    SCOPED_TRACE(mode);
    const Crash crash = CrashBy("null-write", {}, mode);
    char header[32] = {};
    std::ifstream(crash.dmpPath, std::ios::binary).read(header, sizeof(header));
    EXPECT_EQ(std::string(header, 4), "MDMP");
    uint64_t flags = 0;
    std::memcpy(&flags, header + 24, sizeof(flags));
    EXPECT_EQ(flags, type);
    const uintmax_t size = fs::file_size(crash.dmpPath);
    EXPECT_GT(size, previous);
    EXPECT_GE(size, smallest);
    EXPECT_LE(size, largest);
    previous = size;
    EXPECT_NE(Backtrace(crash.dmpPath).find("CrashByNullWrite"), std::string::npos);
    fs::remove(crash.dmpPath);
  }
}

TEST_F(CrashReporterTest, WithTheReporterPresentYesSendsBothFilesToTheCollectionAddress) {
  FixtureServer server;
  ASSERT_TRUE(server.IsRunning());
  fs::copy_file(SOLANE_ERROR_REPORTER, dir_ + "/SolaneError.exe");
  scratch_.Write("my games/SolaneLauncher.CFG",
                 "[SolaneLauncher.CFG]\r\nCrashReportUrl=http://" + server.Host() + "/crash/upload\r\n");

  const Crash crash = CrashBy("null-write", {"SOLANE_CRASH_ANSWER=yes"});
  EXPECT_NE(crash.errText.find("by using SolaneError to attach the file?"), std::string::npos) << crash.errText;
  EXPECT_NE(crash.run.output.find("The crash report was sent."), std::string::npos) << crash.run.output;

  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u) << crash.run.output;
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].decodedPath, "/crash/upload");
  ASSERT_EQ(requests[0].parts.size(), 3u);
  const std::string stamp = fs::path(crash.errPath).stem().string().substr(sizeof("SolaneLauncher"));  // date time
  EXPECT_EQ(requests[0].parts[0].name, "report");
  EXPECT_EQ(requests[0].parts[0].bytes,
            "SolaneLauncher/1.0.3.7/" + stamp.substr(0, 10) + "/" + stamp.substr(11));
  EXPECT_EQ(requests[0].parts[1].name, "info");
  EXPECT_EQ(requests[0].parts[1].fileName, fs::path(crash.errPath).filename().string());
  EXPECT_EQ(requests[0].parts[1].bytes, crash.errText);
  EXPECT_EQ(requests[0].parts[2].name, "dump");
  EXPECT_EQ(requests[0].parts[2].fileName, fs::path(crash.dmpPath).filename().string());
  EXPECT_EQ(requests[0].parts[2].bytes, scratch_.Read("my games/" + requests[0].parts[2].fileName).value_or(""));
  EXPECT_EQ(requests[0].parts[2].bytes.substr(0, 4), "MDMP");
}

}  // namespace
