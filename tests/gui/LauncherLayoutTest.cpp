// The six layouts as built: every control at its place with its pictures, the boxes and the
// second button each region has, and the starting texts in the region's language.

#include <wx/checkbox.h>
#include <wx/uiaction.h>

#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "app/Profiles.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/TestEngine.h"
#include "window/Catalogue.h"
#include "window/wx/LauncherDlg.h"
#include "window/wx/LauncherStaticCtrl.h"
#include "window/wx/SkinBitmaps.h"

namespace {

// (left, top)-(right, bottom) as the layout table writes rectangles.
wxRect Box(int left, int top, int right, int bottom) { return {left, top, right - left, bottom - top}; }

struct ExpectedLayout {
  const char* name;
  WindowLayout layout;
  int locale;
  int topBanner, bottomBanner;
  wxRect status;
  int statusMessage;
  wxRect start;
  int startNormal;
  int secondId;
  wxRect second;
  int secondNormal;
  bool windowModeBox;
  wxRect autoRunBox, autoRunLabel;
  wxRect notice;
  int placeholder;
  int listPanel;  // 0: none
};

const wxRect kKoreaStatus = Box(28, 396, 390, 411);
const wxRect kStart = Box(410, 404, 495, 450);
const wxRect kExit = Box(520, 404, 605, 450);
const wxRect kAutoRunBox = Box(304, 41, 318, 55);
const wxRect kAutoRunLabel = Box(319, 40, 514, 61);
const wxRect kWideNotice = Box(-2, 67, 635, 381);
const wxRect kNarrowNotice = Box(226, 67, 635, 381);

const ExpectedLayout kLayouts[] = {
    {"Korea", WindowLayout::Korea, kLocaleKorea, 146, 145, kKoreaStatus, 160, kStart, 144, 2, kExit, 140, true,
     kAutoRunBox, kAutoRunLabel, kWideNotice, 175, 0},
    {"Korea-HALVERSTON", WindowLayout::KoreaHalverston, kLocaleKorea, 165, 145, kKoreaStatus, 160, kStart, 144, 2,
     kExit, 140, true, kAutoRunBox, kAutoRunLabel, kWideNotice, 175, 0},
    {"Japan", WindowLayout::Japan, kLocaleJapan, 155, 154, kKoreaStatus, 160, kStart, 164, 2, kExit, 160, true,
     kAutoRunBox, kAutoRunLabel, kWideNotice, 175, 0},
    {"Japan-MIRELLA", WindowLayout::JapanMirella, kLocaleJapan, 155, 154, kKoreaStatus, 160, kStart, 164, 2, kExit,
     160, true, kAutoRunBox, kAutoRunLabel, kWideNotice, 175, 0},
    {"China", WindowLayout::China, kLocaleChina, 176, 166, Box(28, 386, 390, 401), 119, Box(416, 393, 501, 439), 174,
     305, Box(522, 393, 607, 439), 170, false, Box(64, 442, 78, 456), Box(79, 441, 274, 462), kNarrowNotice, 177,
     180},
    {"USA", WindowLayout::Usa, kLocaleUsa, 181, 182, kKoreaStatus, 160, kStart, 190, 2, kExit, 186, true, kAutoRunBox,
     kAutoRunLabel, kNarrowNotice, 177, 191},
};

wxRect Moved(wxRect rect, int down) { return rect.Offset(0, down), rect; }

wxRect RectOf(const wxWindow* window) { return window ? window->GetRect() : wxRect(); }

// How many pixels of `part` (client coordinates) differ between the window and picture `id`
// placed at `origin`.
int DifferenceFromPicture(const wxImage& client, const wxRect& part, int id, const wxPoint& origin) {
  const wxImage picture = LoadSkinBitmap(id).ConvertToImage();
  if (!picture.IsOk()) return -1;
  return DifferingPixels(client.GetSubImage(part), picture.GetSubImage(wxRect(part.GetPosition() - origin, part.GetSize())));
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
  EXPECT_EQ(window->GetTitle(), "Solane Launcher");
  EXPECT_EQ(RectOf(window->FindWindow(1)), expected.start);
  EXPECT_EQ(RectOf(window->FindWindow(expected.secondId)), expected.second);
  EXPECT_EQ(window->FindWindow(expected.secondId == 2 ? 305 : 2), nullptr) << "one second button";
  EXPECT_EQ(RectOf(window->FindWindow(300)), Moved(expected.status, 16));
  EXPECT_EQ(RectOf(window->FindWindow(301)), Moved(expected.status, 34));
  EXPECT_EQ(RectOf(window->FindWindow(303)), expected.autoRunBox);
  auto* windowModeBox = dynamic_cast<wxCheckBox*>(window->FindWindow(302));
  if (expected.windowModeBox) {
    ASSERT_NE(windowModeBox, nullptr);
    EXPECT_EQ(windowModeBox->GetRect(), Box(527, 41, 541, 55));
    EXPECT_TRUE(windowModeBox->GetValue()) << "ScreenMode WINDOW ticks the box";
  } else {
    EXPECT_EQ(windowModeBox, nullptr);
  }

  // The labels, their places and starting texts, the catalogue's in the region's language.
  std::set<std::tuple<int, int, int, int, std::string>> labels;
  for (wxWindow* child : window->GetChildren())
    if (auto* label = dynamic_cast<CLauncherStaticCtrl*>(child))
      labels.insert({label->GetRect().x, label->GetRect().y, label->GetRect().width, label->GetRect().height,
                     label->GetText()});
  std::set<std::tuple<int, int, int, int, std::string>> expectedLabels = {
      {expected.status.x, expected.status.y, expected.status.width, expected.status.height,
       LoadCatalogueStringIn(language, expected.statusMessage)},
      {304, 15, 276, 21, ""},
      {expected.autoRunLabel.x, expected.autoRunLabel.y, expected.autoRunLabel.width, expected.autoRunLabel.height,
       LoadCatalogueStringIn(language, 162)}};
  if (expected.windowModeBox) expectedLabels.insert({542, 40, 80, 22, LoadCatalogueStringIn(language, 161)});
  EXPECT_EQ(labels, expectedLabels);

  // Pictures, read from the screen where no control covers them.
  const wxImage client = GrabClient(*window);
  ASSERT_TRUE(client.IsOk());
  EXPECT_EQ(DifferenceFromPicture(client, Box(0, 0, 300, 40), expected.topBanner, {0, 0}), 0) << "top banner";
  EXPECT_EQ(DifferenceFromPicture(client, Box(0, 379, 25, 470), expected.bottomBanner, {0, 379}), 0)
      << "bottom banner";
  EXPECT_EQ(DifferenceFromPicture(client, expected.start, expected.startNormal, expected.start.GetPosition()), 0)
      << "start button";
  EXPECT_EQ(DifferenceFromPicture(client, expected.second, expected.secondNormal, expected.second.GetPosition()), 0)
      << "second button";
  // The placeholder, centred in the notice rectangle shrunk by 2, shows until a page has loaded.
  const wxRect inner = wxRect(expected.notice).Deflate(2);
  const wxSize placeholderSize = LoadSkinBitmap(expected.placeholder).GetSize();
  const wxPoint placeholderOrigin(inner.x + (inner.width - placeholderSize.x) / 2,
                                  inner.y + (inner.height - placeholderSize.y) / 2);
  EXPECT_EQ(DifferenceFromPicture(client, Box(inner.x + 40, 100, inner.x + 200, 360), expected.placeholder,
                                  placeholderOrigin),
            0)
      << "placeholder";
  if (expected.listPanel != 0)
    EXPECT_EQ(DifferenceFromPicture(client, Box(0, 69, 228, 379), expected.listPanel, {0, 69}), 0) << "list panel";
  window->Destroy();
  PumpFor(50);
}

INSTANTIATE_TEST_SUITE_P(SixLayouts, LauncherLayoutTest, testing::ValuesIn(kLayouts),
                         [](const testing::TestParamInfo<ExpectedLayout>& info) {
                           std::string name = info.param.name;
                           std::erase(name, '-');
                           return name;
                         });

}  // namespace
