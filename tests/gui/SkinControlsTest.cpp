// The skin controls as the player sees them on the screen: the bar's pixels, the button's
// picture per state, the label's repaints and its click.

#include <wx/checkbox.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/uiaction.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "tests/gui/GuiTestSupport.h"
#include "window/wx/LauncherButtonCtrl.h"
#include "window/wx/LauncherProgressCtrl.h"
#include "window/wx/LauncherStaticCtrl.h"

namespace {

const wxColour kBehind(0, 200, 200);  // the parent's colour: what an unpainted pixel shows

wxBitmap Solid(const wxColour& colour) {
  wxBitmap bitmap(85, 46, 24);
  wxMemoryDC dc(bitmap);
  dc.SetBackground(wxBrush(colour));
  dc.Clear();
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

wxImage Shows(const wxWindow* window) { return GrabScreen(window->GetScreenRect()); }

class SkinControlsTest : public testing::Test {
 protected:
  void SetUp() override {
    frame_ = new wxFrame(nullptr, wxID_ANY, "skin controls", wxPoint(40, 40), wxSize(500, 300));
    frame_->SetBackgroundColour(kBehind);
    frame_->Show();
    ASSERT_TRUE(PumpUntil([&] { return frame_->IsShownOnScreen(); }, 5000));
  }
  void TearDown() override {
    frame_->Destroy();
    PumpFor(50);
  }
  // Counts `window`'s paint events and lets it paint.
  void CountPaints(wxWindow* window) {
    window->Bind(wxEVT_PAINT, [this](wxPaintEvent& event) {
      ++paints_;
      event.Skip();
    });
  }
  void MovePointer(const wxPoint& screenPoint) {
    pointer_.MouseMove(screenPoint);
    PumpFor(150);
  }

  wxFrame* frame_ = nullptr;
  std::atomic<int> paints_{0};
  wxUIActionSimulator pointer_;
};

TEST_F(SkinControlsTest, ProgressBarFillsTheTruncatedShareInsideItsFrameAndLeavesTheRing) {
  // The status line's size: the 360 x 13 picture is copied to (1, 1).
  auto* bar = new CLauncherProgressCtrl(frame_, wxID_ANY, wxRect(10, 10, 362, 15));
  CountPaints(bar);
  const struct {
    int lower, upper, pos;
    int fill;  // filled picture columns
  } cases[] = {{100, 1100, 100, 0}, {100, 1100, 1100, 360}, {0, 1000, 333, 119} /* 119.88 */,
               {100, 1100, 50, 0},  {5, 5, 9, 0},           {0, 100, 250, 360}};
  bool fromWorker = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "range " << c.lower << ".." << c.upper << ", pos " << c.pos);
    const int before = paints_;
    bar->SetRange(c.lower, c.upper);
    // The engine sets positions from its threads; every other case comes from the main thread.
    if ((fromWorker = !fromWorker))
      std::thread([&] { bar->SetPos(c.pos); }).join();
    else
      bar->SetPos(c.pos);
    ASSERT_TRUE(PumpUntil([&] { return paints_ > before; }, 3000)) << "no repaint";
    PumpFor(50);
    const wxImage shown = Shows(bar);

    for (const wxPoint ring : {wxPoint(0, 7), wxPoint(361, 7), wxPoint(180, 0), wxPoint(180, 14)})
      EXPECT_EQ(ColourAt(shown, ring.x, ring.y), kBehind) << "ring " << ring.x << "," << ring.y;
    for (const wxPoint frame : {wxPoint(1, 7), wxPoint(360, 7), wxPoint(180, 1), wxPoint(180, 13)})
      EXPECT_EQ(ColourAt(shown, frame.x, frame.y), CLauncherProgressCtrl::kFrameColour) << "frame " << frame.x;
    // Picture column p shows at column p + 1; the picture's columns 0 and 359 are frame.
    if (c.fill > 1) EXPECT_EQ(ColourAt(shown, std::min(c.fill, 359), 7), CLauncherProgressCtrl::kBarColour);
    if (c.fill < 359) EXPECT_EQ(ColourAt(shown, std::max(c.fill + 1, 2), 7), CLauncherProgressCtrl::kBackColour);
  }
}

TEST_F(SkinControlsTest, ButtonShowsThePictureOfEachStateAndClicksOnRelease) {
  const wxColour normal(200, 0, 0), pressed(0, 160, 0), mouseOver(0, 0, 220), disabled(90, 90, 90);
  auto* button = new CLauncherButtonCtrl(frame_, 7, wxPoint(20, 20));
  button->LoadBitmaps(Solid(normal), Solid(pressed), Solid(mouseOver), Solid(disabled));
  auto* plain = new CLauncherButtonCtrl(frame_, 8, wxPoint(200, 20));
  plain->LoadBitmaps(Solid(normal), wxNullBitmap, wxNullBitmap, wxNullBitmap);
  int clicks = 0;
  frame_->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { ++clicks; }, 7);
  EXPECT_EQ(button->GetSize(), wxSize(85, 46)) << "sized to the normal picture";
  auto shows = [](const wxWindow* window) { return ColourAt(Shows(window), 42, 23); };
  const wxPoint away = frame_->GetScreenRect().GetBottomRight() - wxPoint(20, 20);

  MovePointer(away);
  EXPECT_EQ(shows(button), normal);
  MovePointer(button->GetScreenRect().GetPosition() + wxPoint(42, 23));
  EXPECT_EQ(shows(button), mouseOver);
  EXPECT_EQ(wxWindow::FindFocus(), button) << "the pointer takes the focus to the button";
  pointer_.MouseDown();
  PumpFor(150);
  EXPECT_EQ(shows(button), pressed);
  EXPECT_EQ(clicks, 0) << "a click is sent on release";
  pointer_.MouseUp();
  PumpFor(150);
  EXPECT_EQ(shows(button), mouseOver);
  EXPECT_EQ(clicks, 1);
  MovePointer(away);
  EXPECT_EQ(shows(button), normal);
  EXPECT_NE(wxWindow::FindFocus(), button) << "leaving gives the focus back to the window";

  button->Disable();
  plain->Disable();
  PumpFor(150);
  EXPECT_EQ(shows(button), disabled);
  EXPECT_EQ(shows(plain), normal) << "no disabled picture: the normal one";
}

TEST_F(SkinControlsTest, LabelRepaintsOnlyForANewTextAndItsClickTogglesTheLinkedBox) {
  auto* box = new wxCheckBox(frame_, wxID_ANY, wxString(), wxPoint(20, 104));
  auto* label = new CLauncherStaticCtrl(frame_, wxID_ANY, wxRect(44, 100, 200, 22), "Window Mode");
  label->SetLinkedCheckBox(box);
  int boxEvents = 0;
  box->Bind(wxEVT_CHECKBOX, [&](wxCommandEvent&) { ++boxEvents; });
  CountPaints(label);
  PumpUntil([&] { return paints_ > 0; }, 3000);

  // The engine's threads set texts.
  int before = paints_;
  int changed = -1;
  std::thread([&] { changed = label->SetText("Auto run after update is done."); }).join();
  EXPECT_EQ(changed, 1);
  EXPECT_TRUE(PumpUntil([&] { return paints_ > before; }, 3000)) << "a new text is painted";
  EXPECT_EQ(ColourAt(Shows(label), 0, 0), kBehind) << "no background of its own";
  before = paints_;
  std::thread([&] { changed = label->SetText("Auto run after update is done."); }).join();
  EXPECT_EQ(changed, 0);
  PumpFor(300);
  EXPECT_EQ(paints_, before) << "the same text is not painted again";

  MovePointer(label->GetScreenRect().GetPosition() + wxPoint(30, 11));
  pointer_.MouseClick();
  EXPECT_TRUE(PumpUntil([&] { return box->GetValue(); }, 2000));
  pointer_.MouseClick();
  EXPECT_TRUE(PumpUntil([&] { return !box->GetValue(); }, 2000));
  EXPECT_EQ(boxEvents, 2) << "each toggle reaches the box's handlers";
}

// A server name in its column of the list, and the same label under a 1.5 text scale: a text
// that does not fit is never cut through a glyph. Too wide even at the smallest size, it ends in
// an ellipsis and shows whole as the tooltip; too tall, it is drawn smaller.
TEST_F(SkinControlsTest, LabelThatDoesNotFitIsNeverCutThroughAGlyph) {
  auto* label = new CLauncherStaticCtrl(frame_, wxID_ANY, wxRect(20, 20, 108, 17), "");
  auto* fits = new CLauncherStaticCtrl(frame_, wxID_ANY, wxRect(20, 60, 108, 17), "Server 1");
  CountPaints(label);
  auto show = [&](const std::string& text) {
    const int before = paints_;
    label->SetText(text);
    PumpUntil([&] { return paints_ > before; }, 3000);
    PumpFor(50);
    return Shows(label);
  };
  // Ink: any pixel that does not show the colour behind the label.
  auto inkIn = [](const wxImage& image, const wxRect& part) {
    for (int y = part.y; y <= part.GetBottom(); ++y)
      for (int x = part.x; x <= part.GetRight(); ++x)
        if (std::abs(image.GetRed(x, y) - kBehind.Red()) + std::abs(image.GetGreen(x, y) - kBehind.Green()) +
                std::abs(image.GetBlue(x, y) - kBehind.Blue()) > 24)
          return true;
    return false;
  };
  // Two lengths, so that an edge cannot fall between two letters both times.
  for (const std::string& name : {"Server " + std::string(20, 'H'), "Server 1" + std::string(20, 'H')}) {
    const wxImage shown = show(name);
    EXPECT_FALSE(inkIn(shown, wxRect(106, 0, 2, 17))) << name << " is cut at the label's edge";
    EXPECT_EQ(label->GetToolTipText(), wxString(name));
  }
  EXPECT_EQ(fits->GetToolTipText(), wxString()) << "a text that fits has no tooltip";

  // Under a 1.5 text scale the line is taller than the label. A label with room shows the whole
  // line; the short one must not show a strip cut out of it.
  const std::string line = "Bdfghjklpqy";
  auto* roomy = new CLauncherStaticCtrl(frame_, wxID_ANY, wxRect(200, 20, 108, 60), line);
  const wxFont scaled = label->GetFont().Scaled(1.5f);
  roomy->SetFont(scaled);
  label->SetFont(scaled);
  const wxImage shown = show(line);
  const wxImage whole = Shows(roomy);
  bool cutOut = false;
  for (int top = 0; top + 15 <= whole.GetHeight(); ++top)
    cutOut = cutOut || ColourDistance(shown.GetSubImage({0, 1, 108, 15}), whole.GetSubImage({0, top, 108, 15})) == 0;
  EXPECT_FALSE(cutOut) << "the line is cut at the label's top or bottom";
  EXPECT_FALSE(inkIn(shown, {0, 0, 108, 1}) || inkIn(shown, {0, 16, 108, 1})) << "the line does not fit";
  EXPECT_TRUE(inkIn(shown, {0, 1, 108, 15}));
}

}  // namespace
