#include "window/LauncherLayout.h"

#include <array>

namespace {

constexpr int kMessageStartingUpdate = 160;
constexpr int kMessageStartWhenClicked = 119;
constexpr int kMessageWindowMode = 161;
constexpr int kMessageAutoRun = 162;

constexpr LayoutRect kStatusLine{28, 396, 390, 411};
constexpr LayoutRect kStartRect{410, 404, 495, 450};
constexpr LayoutRect kExitRect{520, 404, 605, 450};
constexpr LayoutRect kFullNotice{-2, 67, 635, 381};

constexpr LayoutCheckBox kWindowModeBox{{527, 41, 541, 55}, {542, 40, 622, 62}, kMessageWindowMode, "Window Mode"};
constexpr LayoutCheckBox kNoWindowModeBox{{}, {}, kMessageWindowMode, "Window Mode"};
constexpr LayoutCheckBox kAutoRunBox{
    {304, 41, 318, 55}, {319, 40, 514, 61}, kMessageAutoRun, "Update Completed and Auto Game Run"};

constexpr LauncherLayout Standard(WindowLayout layout, int charset, int top, int bottom, int startFirst, int exitFirst) {
  return {layout,
          charset,
          top,
          bottom,
          kStatusLine,
          kMessageStartingUpdate,
          {kIdStartButton, kStartRect, startFirst},
          SecondButton::Exit,
          {kIdExitButton, kExitRect, exitFirst},
          kWindowModeBox,
          kAutoRunBox,
          kFullNotice,
          175,
          0,
          false};
}

constexpr std::array<LauncherLayout, 6> kLayouts = {
    Standard(WindowLayout::Korea, 1, 146, 145, 141, 137),
    Standard(WindowLayout::KoreaHalverston, 1, 165, 145, 141, 137),
    Standard(WindowLayout::Japan, 128, 155, 154, 161, 157),
    Standard(WindowLayout::JapanMirella, 128, 155, 154, 161, 157),
    LauncherLayout{WindowLayout::China,
                   134,
                   176,
                   166,
                   {28, 386, 390, 401},
                   kMessageStartWhenClicked,
                   {kIdStartButton, {416, 393, 501, 439}, 171},
                   SecondButton::Registration,
                   {kIdRegistrationButton, {522, 393, 607, 439}, 167},
                   kNoWindowModeBox,
                   {{64, 442, 78, 456}, {79, 441, 274, 462}, kMessageAutoRun, kAutoRunBox.fallbackLabel},
                   {226, 67, 635, 381},
                   177,
                   180,
                   true},
    LauncherLayout{WindowLayout::Usa,
                   1,
                   181,
                   182,
                   kStatusLine,
                   kMessageStartingUpdate,
                   {kIdStartButton, kStartRect, 187},
                   SecondButton::Exit,
                   {kIdExitButton, kExitRect, 183},
                   kWindowModeBox,
                   kAutoRunBox,
                   {226, 67, 635, 381},
                   177,
                   191,
                   true},
};

}  // namespace

const LauncherLayout& LayoutFor(WindowLayout layout) {
  for (const LauncherLayout& row : kLayouts)
    if (row.layout == layout) return row;
  return kLayouts[0];
}
