// The skin controls as the player sees them on the screen: the bar's pixels, the button's
// picture per state, the label's repaints and its click.

#include <wx/checkbox.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/uiaction.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/gui/GuiTestSupport.h"
#include "window/wx/LauncherButtonCtrl.h"
#include "window/wx/LauncherProgressCtrl.h"
#include "window/wx/LauncherStaticCtrl.h"

namespace {

const wxColour kBehind(0, 200, 200);  // the parent's colour: what an unpainted pixel shows

// Counts a window's paint events and lets it paint.
struct PaintCounter {
  explicit PaintCounter(wxWindow* window) {
    window->Bind(wxEVT_PAINT, [this](wxPaintEvent& event) {
      ++count;
      event.Skip();
    });
  }
  std::atomic<int> count{0};
};

wxBitmap Solid(const wxColour& colour, int width = 85, int height = 46) {
  wxBitmap bitmap(width, height, 24);
  wxMemoryDC dc(bitmap);
  dc.SetBackground(wxBrush(colour));
  dc.Clear();
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

wxColour ColourAt(const wxImage& image, int x, int y) {
  return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
}

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

  // Waits for `window` to paint after a change, then reads it from the screen.
  wxImage PaintedImage(wxWindow* window, PaintCounter& paints, int paintsBefore) {
    EXPECT_TRUE(PumpUntil([&] { return paints.count > paintsBefore; }, 3000)) << "no repaint";
    PumpFor(50);
    return GrabScreen(wxRect(window->GetScreenPosition(), window->GetSize()));
  }

  void MovePointer(wxUIActionSimulator& pointer, const wxPoint& screenPoint) {
    pointer.MouseMove(screenPoint);
    PumpFor(150);
  }

  wxFrame* frame_ = nullptr;
};

TEST_F(SkinControlsTest, ProgressBarFillsTheTruncatedShareInsideItsFrameAndLeavesTheRing) {
  // The status line's size: 362 x 15, so the picture is 360 x 13 at (1, 1).
  auto* bar = new CLauncherProgressCtrl(frame_, wxID_ANY, wxRect(10, 10, 362, 15));
  PaintCounter paints(bar);
  const struct {
    const char* name;
    int lower, upper, pos;
    int fill;  // filled picture columns
  } cases[] = {
      {"pos = lower", 100, 1100, 100, 0},
      {"pos = upper", 100, 1100, 1100, 360},
      {"33.3%: 119.88 columns", 0, 1000, 333, 119},
      {"below lower", 100, 1100, 50, 0},
      {"lower = upper", 5, 5, 9, 0},
      {"beyond upper", 0, 100, 250, 360},
  };
  bool fromWorker = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = paints.count;
    bar->SetRange(c.lower, c.upper);
    // The engine sets positions from its threads; every other case from the main thread.
    fromWorker = !fromWorker;
    if (fromWorker)
      std::thread([&] { bar->SetPos(c.pos); }).join();
    else
      bar->SetPos(c.pos);
    const wxImage shown = PaintedImage(bar, paints, before);
    ASSERT_EQ(shown.GetSize(), wxSize(362, 15));

    for (const wxPoint ring : {wxPoint(0, 7), wxPoint(361, 7), wxPoint(180, 0), wxPoint(180, 14)})
      EXPECT_EQ(ColourAt(shown, ring.x, ring.y), kBehind) << "ring " << ring.x << "," << ring.y;
    for (const wxPoint frame : {wxPoint(1, 7), wxPoint(360, 7), wxPoint(180, 1), wxPoint(180, 13), wxPoint(1, 1)})
      EXPECT_EQ(ColourAt(shown, frame.x, frame.y), CLauncherProgressCtrl::kFrameColour)
          << "frame " << frame.x << "," << frame.y << " " << PixelText(shown, frame.x, frame.y);
    // Picture column p is screen column p + 1; columns 0 and 359 of the picture are frame.
    if (c.fill > 1) EXPECT_EQ(ColourAt(shown, std::min(c.fill, 359), 7), CLauncherProgressCtrl::kBarColour);
    if (c.fill < 359)
      EXPECT_EQ(ColourAt(shown, c.fill + 1 + (c.fill == 0), 7), CLauncherProgressCtrl::kBackColour)
          << PixelText(shown, c.fill + 1, 7);
  }
}

TEST_F(SkinControlsTest, ButtonShowsThePictureOfEachStateAndClicksOnRelease) {
  const wxColour normal(200, 0, 0), pressed(0, 160, 0), mouseOver(0, 0, 220), disabled(90, 90, 90);
  auto* button = new CLauncherButtonCtrl(frame_, 7, wxPoint(20, 20));
  button->LoadBitmaps(Solid(normal), Solid(pressed), Solid(mouseOver), Solid(disabled));
  auto* plain = new CLauncherButtonCtrl(frame_, 8, wxPoint(200, 20));
  plain->LoadBitmaps(Solid(normal), wxNullBitmap, wxNullBitmap, wxNullBitmap);
  int clicks = 0;
  frame_->Bind(wxEVT_BUTTON, [&](wxCommandEvent& event) { clicks += event.GetId() == 7; }, 7);
  EXPECT_EQ(button->GetSize(), wxSize(85, 46)) << "sized to the normal picture";
  PumpFor(200);

  auto shows = [](wxWindow* window) {
    const wxImage image = GrabScreen(wxRect(window->GetScreenPosition(), window->GetSize()));
    return ColourAt(image, 42, 23);
  };
  const wxPoint centre = button->GetScreenRect().GetPosition() + wxPoint(42, 23);
  wxUIActionSimulator pointer;
  MovePointer(pointer, frame_->GetScreenRect().GetBottomRight() - wxPoint(20, 20));
  EXPECT_EQ(shows(button), normal);

  MovePointer(pointer, centre);
  EXPECT_EQ(shows(button), mouseOver);
  EXPECT_EQ(wxWindow::FindFocus(), button) << "the pointer takes the focus to the button";
  pointer.MouseDown();
  PumpFor(150);
  EXPECT_EQ(shows(button), pressed);
  EXPECT_EQ(clicks, 0) << "a click is sent on release";
  pointer.MouseUp();
  PumpFor(150);
  EXPECT_EQ(shows(button), mouseOver);
  EXPECT_EQ(clicks, 1);

  MovePointer(pointer, frame_->GetScreenRect().GetBottomRight() - wxPoint(20, 20));
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
  PaintCounter paints(label);
  PumpUntil([&] { return paints.count > 0; }, 3000);

  // The engine's threads set texts.
  int before = paints.count;
  int changed = -1;
  std::thread([&] { changed = label->SetText("Auto run after update is done."); }).join();
  EXPECT_EQ(changed, 1);
  EXPECT_TRUE(PumpUntil([&] { return paints.count > before; }, 3000)) << "a new text is painted";
  const wxImage drawn = GrabScreen(label->GetScreenRect());

  before = paints.count;
  std::thread([&] { changed = label->SetText("Auto run after update is done."); }).join();
  EXPECT_EQ(changed, 0);
  PumpFor(300);
  EXPECT_EQ(paints.count, before) << "the same text is not painted again";
  EXPECT_EQ(label->GetText(), "Auto run after update is done.");

  // Transparent: the window's colour around the text, black text.
  EXPECT_EQ(ColourAt(drawn, 0, 0), kBehind);
  bool dark = false;
  for (int x = 0; x < drawn.GetWidth() && !dark; ++x)
    dark = drawn.GetRed(x, 11) < 80 && drawn.GetGreen(x, 11) < 80 && drawn.GetBlue(x, 11) < 80;
  EXPECT_TRUE(dark) << "no text drawn";

  wxUIActionSimulator pointer;
  MovePointer(pointer, label->GetScreenRect().GetPosition() + wxPoint(30, 11));
  pointer.MouseClick();
  EXPECT_TRUE(PumpUntil([&] { return box->GetValue(); }, 2000));
  pointer.MouseClick();
  EXPECT_TRUE(PumpUntil([&] { return !box->GetValue(); }, 2000));
  EXPECT_EQ(boxEvents, 2) << "each toggle reaches the box's handlers";
}

}  // namespace
