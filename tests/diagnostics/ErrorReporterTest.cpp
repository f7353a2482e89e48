// The error reporter on its own: what it refuses, and how it retries.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/FixtureServer.h"
#include "tests/support/RunProgram.h"
#include "tests/support/ScratchDir.h"

namespace {

constexpr const char* kErr = "SolaneLauncher 2026-12-05 14-16-01.ERR";
constexpr const char* kDmp = "SolaneLauncher 2026-12-05 14-16-01.DMP";

class ErrorReporterTest : public ::testing::Test {
 protected:
  ErrorReporterTest() {
    scratch_.Write(kErr, "the report");
    scratch_.Write(kDmp, "MDMP and more");
    scratch_.Write("SolaneLauncher.CFG",
                   "[SolaneLauncher.CFG]\r\nCrashReportUrl=http://" + server_.Host() + "/crash\r\n");
  }

  // Runs the reporter in the scratch folder, as the crash helper starts it.
  ProgramResult Report(const std::string& commandLine) {
    return RunProgram(
        {"/bin/sh", "-c", "cd \"$0\" && exec \"$1\" $2", scratch_.Path(), SOLANE_ERROR_REPORTER, commandLine}, {}, 60);
  }

  std::string CommandLine(const std::string& info, const std::string& dump) {
    return "/SolaneError-VANTIK:SolaneLauncher/1.0.3.7/2026-12-05/14-16-01 /INFO:" + info + " /DMP:" + dump + " /";
  }

  FixtureServer server_;
  ScratchDir scratch_;
};

TEST_F(ErrorReporterTest, TakesOnlyTheTwoNamedFilesOfItsFolderToASafeAddress) {
  scratch_.Write("elsewhere/secret.DMP", "not to be sent");
  const std::string refused[] = {
      CommandLine("../" + std::string(kErr), kDmp),
      CommandLine(kErr, "elsewhere/secret.DMP"),
      CommandLine(kErr, "elsewhere\\secret.DMP"),
      CommandLine(kErr, "missing.DMP"),
      "/INFO:" + std::string(kErr) + " /DMP:" + kDmp + " /",  // no report path
      CommandLine(kErr, kDmp).substr(0, CommandLine(kErr, kDmp).size() - 2),  // the last switch lacks " /"
  };
  for (const std::string& commandLine : refused) {
    const ProgramResult run = Report(commandLine);
    EXPECT_EQ(run.exitCode, 2) << commandLine << "\n" << run.output;
  }
  // A dump holds the server's password: plain http only to a loopback address. (0.0.0.0 reaches
  // this machine's server too, but is no loopback address.)
  scratch_.Write("SolaneLauncher.CFG",
                 "[SolaneLauncher.CFG]\r\nCrashReportUrl=http://0.0.0.0:" + std::to_string(server_.Port()) + "/crash\r\n");
  const ProgramResult run = Report(CommandLine(kErr, kDmp));
  EXPECT_EQ(run.exitCode, 2) << run.output;
  EXPECT_TRUE(server_.Requests().empty());
}

TEST_F(ErrorReporterTest, RetriesTheServersTroubleTwiceAndARefusalNever) {
  ASSERT_TRUE(server_.SetBehaviour("crash", {.status = 503}));
  ProgramResult run = Report(CommandLine(kErr, kDmp));
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_NE(run.output.find("Sending failed: the server answered 503."), std::string::npos) << run.output;
  EXPECT_EQ(server_.Requests().size(), 3u);

  ASSERT_TRUE(server_.Reset());
  ASSERT_TRUE(server_.SetBehaviour("crash", {.status = 413}));
  run = Report(CommandLine(kErr, kDmp));
  EXPECT_EQ(run.exitCode, 1) << run.output;
  EXPECT_EQ(server_.Requests().size(), 1u);

  ASSERT_TRUE(server_.Reset());
  run = Report(CommandLine(kErr, kDmp));
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Sending: 100%"), std::string::npos) << run.output;
  EXPECT_EQ(server_.Requests().size(), 1u);  // what it sends: CrashReporterTest
}

}  // namespace
