// The six layouts as built: every control at its place with its pictures, the boxes and the
// second button each region has, and the starting texts in the region's language.

#include <wx/checkbox.h>
#include <wx/uiaction.h>

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"
#include "window/wx/LauncherDlg.h"
#include "window/wx/LauncherStaticCtrl.h"
#include "window/wx/SkinBitmaps.h"

namespace {

// (left, top)-(right, bottom), as the layout table writes rectangles.
wxRect Box(int left, int top, int right, int bottom) { return {left, top, right - left, bottom - top}; }
wxRect Down(wxRect rect, int pixels) { return rect.Offset(0, pixels), rect; }

struct ExpectedLayout {
  const char* name;
  WindowLayout layout;
  int locale, topBanner, bottomBanner, statusMessage;
  wxRect status, start;
  int startNormal, secondId;
  wxRect second;
  int secondNormal;
  bool windowModeBox;
  wxRect autoRunBox, autoRunLabel, notice;
  int placeholder, listPanel;  // listPanel 0: none
};

const wxRect kStatus = Box(28, 396, 390, 411), kStart = Box(410, 404, 495, 450), kExit = Box(520, 404, 605, 450);
const wxRect kAutoRun = Box(304, 41, 318, 55), kAutoRunLabel = Box(319, 40, 514, 61);
const wxRect kWide = Box(-2, 67, 635, 381), kNarrow = Box(226, 67, 635, 381);

const ExpectedLayout kLayouts[] = {
    {"Korea", WindowLayout::Korea, 1, 146, 145, 160, kStatus, kStart, 144, 2, kExit, 140, true, kAutoRun,
     kAutoRunLabel, kWide, 175, 0},
    {"KoreaHALVERSTON", WindowLayout::KoreaHalverston, 1, 165, 145, 160, kStatus, kStart, 144, 2, kExit, 140, true,
     kAutoRun, kAutoRunLabel, kWide, 175, 0},
    {"Japan", WindowLayout::Japan, 2, 155, 154, 160, kStatus, kStart, 164, 2, kExit, 160, true, kAutoRun,
     kAutoRunLabel, kWide, 175, 0},
    {"JapanMIRELLA", WindowLayout::JapanMirella, 2, 155, 154, 160, kStatus, kStart, 164, 2, kExit, 160, true,
     kAutoRun, kAutoRunLabel, kWide, 175, 0},
    {"China", WindowLayout::China, 3, 176, 166, 119, Box(28, 386, 390, 401), Box(416, 393, 501, 439), 174, 305,
     Box(522, 393, 607, 439), 170, false, Box(64, 442, 78, 456), Box(79, 441, 274, 462), kNarrow, 177, 180},
    {"USA", WindowLayout::Usa, 4, 181, 182, 160, kStatus, kStart, 190, 2, kExit, 186, true, kAutoRun, kAutoRunLabel,
     kNarrow, 177, 191},
};

wxRect RectOf(const wxWindow* window) { return window ? window->GetRect() : wxRect(); }

// The colour distance, in `part`, between the window and picture `id` placed at `origin`.
long DistanceFromPicture(const wxImage& client, const wxRect& part, int id, const wxPoint& origin) {
  const wxImage picture = LoadSkinBitmap(id).ConvertToImage();
  if (!picture.IsOk()) return -1;
  return ColourDistance(client.GetSubImage(part), picture.GetSubImage(wxRect(part.GetPosition() - origin, part.GetSize())));
}

class LauncherLayoutTest : public testing::TestWithParam<ExpectedLayout> {};

TEST_P(LauncherLayoutTest, ControlsSitAtTheirRectanglesWithTheirPictures) {
  const ExpectedLayout& expected = GetParam();
  TestInstallation installation;
  installation.WriteConfig("ScreenMode=WINDOW\r\n");
  installation.Engine().SetLocale(expected.locale);
  const uint16_t language = CatalogueLanguageForLocale(expected.locale);
  auto* window = new CLauncherDlg(installation.Engine(), expected.layout);
  window->Show();
  wxUIActionSimulator().MouseMove(0, 0);  // no button shows its mouse-over picture
  ASSERT_TRUE(PumpUntil([&] { return window->IsShownOnScreen(); }, 5000));
  PumpFor(300);

  EXPECT_EQ(window->GetClientSize(), wxSize(633, 470));
  EXPECT_EQ(RectOf(window->FindWindow(1)), expected.start);
  EXPECT_EQ(RectOf(window->FindWindow(expected.secondId)), expected.second);
  EXPECT_EQ(window->FindWindow(expected.secondId == 2 ? 305 : 2), nullptr) << "one second button";
  EXPECT_EQ(RectOf(window->FindWindow(300)), Down(expected.status, 16));
  EXPECT_EQ(RectOf(window->FindWindow(301)), Down(expected.status, 34));
  EXPECT_EQ(RectOf(window->FindWindow(303)), expected.autoRunBox);
  auto* windowModeBox = dynamic_cast<wxCheckBox*>(window->FindWindow(302));
  EXPECT_EQ(RectOf(windowModeBox), expected.windowModeBox ? Box(527, 41, 541, 55) : wxRect());
  if (windowModeBox) EXPECT_TRUE(windowModeBox->GetValue()) << "ScreenMode WINDOW ticks the box";

  // The labels: places and starting texts, the catalogue's in the region's language.
  using Label = std::tuple<int, int, int, int, std::string>;
  auto label = [](const wxRect& r, const std::string& text) { return Label{r.x, r.y, r.width, r.height, text}; };
  std::set<Label> labels, expectedLabels = {label(expected.status, LoadCatalogueStringIn(language, expected.statusMessage)),
                                            label(Box(304, 15, 580, 36), ""),
                                            label(expected.autoRunLabel, LoadCatalogueStringIn(language, 162))};
  if (expected.windowModeBox) expectedLabels.insert(label(Box(542, 40, 622, 62), LoadCatalogueStringIn(language, 161)));
  // The login server rows, empty without a list: click area (id 307 + row), name and latency.
  for (int row = 0; expected.listPanel != 0 && row < 17; ++row) {
    const int top = 88 + 17 * row;
    for (const wxRect& part : {Box(1, top, 210, top + 17), Box(12, top, 120, top + 17), Box(139, top, 201, top + 17)})
      expectedLabels.insert(label(part, ""));
    EXPECT_EQ(RectOf(window->FindWindow(307 + row)), Box(1, top, 210, top + 17));
  }
  EXPECT_EQ(RectOf(window->FindWindow(306)), expected.listPanel != 0 ? Box(210, 69, 227, 379) : wxRect())
      << "scroll bar";
  for (wxWindow* child : window->GetChildren())
    if (auto* text = dynamic_cast<CLauncherStaticCtrl*>(child)) labels.insert(label(text->GetRect(), text->GetText()));
  EXPECT_EQ(labels, expectedLabels);

  // Pictures, read from the screen where no control covers them.
  const wxImage client = GrabClient(*window, wxRect(0, 0, 633, 470));
  EXPECT_EQ(DistanceFromPicture(client, Box(0, 0, 300, 40), expected.topBanner, {0, 0}), 0) << "top banner";
  EXPECT_EQ(DistanceFromPicture(client, Box(0, 379, 25, 470), expected.bottomBanner, {0, 379}), 0) << "bottom banner";
  EXPECT_EQ(DistanceFromPicture(client, expected.start, expected.startNormal, expected.start.GetPosition()), 0);
  EXPECT_EQ(DistanceFromPicture(client, expected.second, expected.secondNormal, expected.second.GetPosition()), 0);
  // The placeholder, centred in the notice rectangle shrunk by 2, shows until a page has loaded.
  const wxRect inner = wxRect(expected.notice).Deflate(2);
  const wxSize size = LoadSkinBitmap(expected.placeholder).GetSize();
  const wxPoint origin(inner.x + (inner.width - size.x) / 2, inner.y + (inner.height - size.y) / 2);
  EXPECT_EQ(DistanceFromPicture(client, Box(inner.x + 40, 100, inner.x + 200, 360), expected.placeholder, origin), 0);
  if (expected.listPanel != 0)
    EXPECT_EQ(DistanceFromPicture(client, Box(0, 69, 210, 379), expected.listPanel, {0, 69}), 0) << "list panel";
  window->Destroy();
  PumpFor(50);
}

INSTANTIATE_TEST_SUITE_P(SixLayouts, LauncherLayoutTest, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<ExpectedLayout>& info) { return info.param.name; });

}  // namespace
