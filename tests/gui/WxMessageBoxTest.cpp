// A worker's question shown on the main thread: once nobody is left to answer it (the engine
// cancelled, the window gone) the worker goes on and no box is left behind.

#include "window/wx/WxMessageBox.h"

#include <wx/dialog.h>
#include <wx/timer.h>
#include <wx/toplevel.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/gui/GuiTestSupport.h"

namespace {

wxDialog* ShownBox() {
  for (wxWindow* window : wxTopLevelWindows)
    if (auto* box = dynamic_cast<wxDialog*>(window); box && box->IsShown() && box->GetTitle() == "SolaneLauncher")
      return box;
  return nullptr;
}

TEST(WxMessageBoxTest, ReleasedQuestionLeavesNoBoxBehindAndTakesTheSafeAnswer) {
  std::atomic<bool> released{false};
  auto boxes = MakeWxMessageBox([&] { return released.load(); });
  // The box's modal loop runs inside this thread's event handling: a timer looks on from there.
  bool boxSeen = false;
  int ticksShown = 0;  // a box left behind is closed here after 2 s, so that it cannot hold the test
  wxTimer watch;
  watch.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    wxDialog* box = ShownBox();
    if (!box) return;
    boxSeen = true;
    released = true;
    if (++ticksShown == 40) box->EndModal(wxID_CANCEL);
  });
  watch.Start(50);

  std::atomic<int> answer{0};
  std::thread asker([&] { answer = boxes->Show("Finish now?", "SolaneLauncher", platform::kBoxOkCancel); });
  EXPECT_TRUE(PumpUntil([&] { return answer != 0 && !ShownBox(); }, 5000)) << "the worker waits";
  asker.join();
  EXPECT_TRUE(boxSeen);
  EXPECT_LT(ticksShown, 40) << "the box stayed after its worker had gone on";
  EXPECT_EQ(answer, platform::kResultCancel);

  // Released before the main thread came to it: the question never appears.
  boxSeen = false;
  ticksShown = 0;
  answer = 0;
  std::thread early([&] { answer = boxes->Show("Finish now?", "SolaneLauncher", platform::kBoxOkCancel); });
  early.join();
  EXPECT_EQ(answer, platform::kResultCancel);
  PumpFor(300);
  EXPECT_FALSE(boxSeen);
}

}  // namespace
