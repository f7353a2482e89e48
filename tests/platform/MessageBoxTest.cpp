#include "platform/MessageBox.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/ScriptedMessageBox.h"
#include "platform/TerminalMessageBox.h"

namespace platform {
namespace {

// Installs a provider for one test and puts the default back afterwards.
class InstalledProvider {
 public:
  explicit InstalledProvider(std::shared_ptr<MessageBoxProvider> provider) { SetMessageBoxProvider(std::move(provider)); }
  ~InstalledProvider() { SetMessageBoxProvider(nullptr); }
};

TEST(MessageBoxTest, ScriptedBoxAnswersInOrderThenSafely) {
  ScriptedMessageBox box;
  box.QueueAnswer(kResultOk);
  box.QueueAnswer(kResultCancel);
  EXPECT_EQ(box.Show("first", "c", kBoxOkCancel), kResultOk);
  EXPECT_EQ(box.Show("second", "c", kBoxOkCancel), kResultCancel);
  // The script is used up: every box gets the answer nobody-at-the-keyboard would give.
  EXPECT_EQ(box.Show("third", "c", kBoxOk), kResultOk);
  EXPECT_EQ(box.Show("fourth", "c", kBoxOkCancel | kBoxIconQuestion), kResultCancel);
  EXPECT_EQ(box.Show("fifth", "c", kBoxYesNo), kResultNo);

  const std::vector<ScriptedMessageBox::ShownBox> shown = box.Shown();
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[0].text, "first");
  EXPECT_EQ(shown[3].type, kBoxOkCancel | kBoxIconQuestion);
  EXPECT_EQ(shown[4].text, "fifth");
}

TEST(MessageBoxTest, ScriptedBoxCanBeAwaitedFromAnotherThread) {
  auto box = std::make_shared<ScriptedMessageBox>();
  EXPECT_FALSE(box->WaitUntilShown(1, 20));
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([box] {
      for (int i = 0; i < 25; ++i) box->Show("from a worker", "c", kBoxOk);
    });
  EXPECT_TRUE(box->WaitUntilShown(100, 10000));
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(box->Shown().size(), 100u);
}

TEST(MessageBoxTest, ApplicationBoxNamesTheExecutableAndAddsTheIcon) {
  SetMessageBoxProvider(nullptr);
  EXPECT_NE(CurrentMessageBoxProvider(), nullptr);  // the terminal by default
  auto box = std::make_shared<ScriptedMessageBox>();
  InstalledProvider installed(box);
  EXPECT_EQ(CurrentMessageBoxProvider(), box);
  box->QueueAnswer(kResultCancel);
  EXPECT_EQ(ShowMessageBox("Update failed.", kBoxOkCancel), kResultCancel);
  EXPECT_EQ(ShowMessageBox("Question", kBoxYesNo | kBoxIconQuestion), kResultNo);

  const auto shown = box->Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "Update failed.");
  EXPECT_EQ(shown[0].caption, "test_platform");
  EXPECT_EQ(shown[0].type, kBoxOkCancel | kBoxIconExclamation);
  EXPECT_EQ(shown[1].type, kBoxYesNo | kBoxIconQuestion);
}

// Points standard input at /dev/null and standard error at a file while it lives.
class UnattendedTerminal {
 public:
  UnattendedTerminal() : errorPath_(testing::TempDir() + "terminal-box-stderr.txt") {
    std::fflush(stderr);
    savedInput_ = dup(STDIN_FILENO);
    savedError_ = dup(STDERR_FILENO);
    const int nullInput = open("/dev/null", O_RDONLY);
    const int errorFile = open(errorPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(nullInput, STDIN_FILENO);
    dup2(errorFile, STDERR_FILENO);
    close(nullInput);
    close(errorFile);
  }
  ~UnattendedTerminal() { Restore(); }

  // Restores both streams and returns what was written to standard error.
  std::string Finish() {
    Restore();
    std::ifstream file(errorPath_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

 private:
  void Restore() {
    if (savedInput_ < 0) return;
    std::fflush(stderr);
    dup2(savedInput_, STDIN_FILENO);
    dup2(savedError_, STDERR_FILENO);
    close(savedInput_);
    close(savedError_);
    savedInput_ = savedError_ = -1;
  }

  std::string errorPath_;
  int savedInput_ = -1;
  int savedError_ = -1;
};

TEST(MessageBoxTest, UnattendedTerminalPrintsAndGivesTheSafeAnswer) {
  std::shared_ptr<MessageBoxProvider> terminal = MakeTerminalMessageBox();
  UnattendedTerminal unattended;
  const int ok = terminal->Show("Update is completed.", "SolaneLauncher", kBoxOk);
  const int retry = terminal->Show("Faile to access file server. Will you retry?", "SolaneLauncher", kBoxOkCancel);
  const int yesNo = terminal->Show("Proceed?", "SolaneLauncher", kBoxYesNo | kBoxIconQuestion);
  const std::string printed = unattended.Finish();

  EXPECT_EQ(ok, kResultOk);
  EXPECT_EQ(retry, kResultCancel);
  EXPECT_EQ(yesNo, kResultNo);
  EXPECT_NE(printed.find("SolaneLauncher"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Update is completed."), std::string::npos) << printed;
  EXPECT_NE(printed.find("Will you retry?"), std::string::npos) << printed;
}

}  // namespace
}  // namespace platform
