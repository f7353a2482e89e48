#include "platform/MessageBox.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/ScriptedMessageBox.h"
#include "platform/TerminalMessageBox.h"

namespace platform {
namespace {

TEST(MessageBoxTest, ScriptedBoxAnswersInOrderThenAsNobodyAtTheKeyboardWouldAndCanBeAwaited) {
  auto box = std::make_shared<ScriptedMessageBox>();
  EXPECT_FALSE(box->WaitUntilShown(1, 20));
  box->QueueAnswer(kResultCancel);
  EXPECT_EQ(box->Show("first", "c", kBoxOkCancel), kResultCancel);
  EXPECT_EQ(box->Show("second", "c", kBoxOk), kResultOk);
  EXPECT_EQ(box->Show("third", "c", kBoxOkCancel | kBoxIconQuestion), kResultCancel);
  EXPECT_EQ(box->Show("fourth", "c", kBoxYesNo), kResultNo);
  ASSERT_EQ(box->Shown().size(), 4u);
  EXPECT_EQ(box->Shown()[2].type, kBoxOkCancel | kBoxIconQuestion);

  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t)
    workers.emplace_back([box] {
      for (int i = 0; i < 25; ++i) box->Show("from a worker", "c", kBoxOk);
    });
  EXPECT_TRUE(box->WaitUntilShown(104, 10000));
  for (std::thread& worker : workers) worker.join();
}

TEST(MessageBoxTest, ApplicationBoxNamesTheExecutableAndAddsTheIcon) {
  auto box = std::make_shared<ScriptedMessageBox>();
  SetMessageBoxProvider(box);
  EXPECT_EQ(ShowMessageBox("Update failed.", kBoxOkCancel), kResultCancel);
  EXPECT_EQ(ShowMessageBox("Question", kBoxYesNo | kBoxIconQuestion), kResultNo);
  SetMessageBoxProvider(nullptr);

  const auto shown = box->Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, "test_platform");
  EXPECT_EQ(shown[0].type, kBoxOkCancel | kBoxIconExclamation);
  EXPECT_EQ(shown[1].type, kBoxYesNo | kBoxIconQuestion);
  EXPECT_NE(CurrentMessageBoxProvider(), nullptr);  // the terminal again
}

TEST(MessageBoxTest, UnattendedTerminalPrintsAndGivesTheSafeAnswer) {
  const int noInput = open("/dev/null", O_RDONLY);
  std::shared_ptr<MessageBoxProvider> terminal = MakeTerminalMessageBox({.inputFd = noInput});
  testing::internal::CaptureStderr();
  EXPECT_EQ(terminal->Show("Update is \x1b]0;owned\x07" "completed.\x1b[2J", "Solane\rLauncher", kBoxOk), kResultOk);
  EXPECT_EQ(terminal->Show("Faile to access file server. Will you retry?", "SolaneLauncher", kBoxOkCancel),
            kResultCancel);
  EXPECT_EQ(terminal->Show("Proceed?", "SolaneLauncher", kBoxYesNo | kBoxIconQuestion), kResultNo);
  const std::string printed = testing::internal::GetCapturedStderr();
  close(noInput);
  for (const char* text : {"Solane Launcher", "Update is completed.", "Will you retry?"})
    EXPECT_NE(printed.find(text), std::string::npos) << printed;
  EXPECT_EQ(printed.find('\x1b'), std::string::npos) << printed;  // a server's text cannot drive the terminal
}

}  // namespace
}  // namespace platform
