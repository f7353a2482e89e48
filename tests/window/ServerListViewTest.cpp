// The login server list's rules without a toolkit: the rows a scroll position shows, the stored
// choice that counts once drawn, clicks, the scroll bar and the wheel, and late latencies.

#include "window/ServerListView.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "tests/support/TestEngine.h"
#include "window/LauncherLayout.h"

namespace {

constexpr int kRows = ServerListView::kRows;

// What a toolkit would show.
struct RecordingSurface final : ServerListSurface {
  void SetRowName(int row, const std::string& text) override { names[row] = text; }
  void SetRowLatency(int row, const std::string& text) override { latencies[row] = text; }
  void RepaintRow(int) override {}
  void SetScrollBar(int position, int pageRows, int range) override { bar = {position, pageRows, range}; }
  void SetThumbPosition(int position) override { thumb = position; }

  std::array<std::string, kRows> names;
  std::array<std::string, kRows> latencies;
  std::tuple<int, int, int> bar{-1, -1, -1};
  int thumb = -1;
};

class ServerListViewTest : public ::testing::Test {
 protected:
  // Entries "s1" ... "sN" at 127.0.0.1 ..., `chosen` stored as the player's choice.
  void AddServers(int count, int chosen) {
    engine_.SetLocale(kLocaleUsa);
    for (int n = 1; n <= count; ++n)
      engine_.AddEntry({"s" + std::to_string(n), "127.0.0." + std::to_string(n), "", n - 1 == chosen ? 1 : 0, 0});
    if (view_.ShowFrom(0)) view_.DrawRows();
  }
  int Selected() const {
    for (int index = 0; index < engine_.EntryCount(); ++index)
      if (engine_.EntryAt(index)->selected == 1) return index;
    return -1;
  }
  // A wheel notch up at the middle of `place`.
  void WheelUp(const LayoutRect& place, bool vertical = true) {
    view_.Wheel((place.left + place.right) / 2, (place.top + place.bottom) / 2, vertical, true);
  }

  TestInstallation installation_;
  PatchEngine& engine_ = installation_.Engine();
  RecordingSurface surface_;
  ServerListView view_{engine_, surface_};
};

TEST_F(ServerListViewTest, ScrollingStaysOnTheListAndAStoredChoiceCountsOnceDrawn) {
  AddServers(20, 18);
  EXPECT_EQ(surface_.bar, std::tuple(0, 17, 20));
  EXPECT_EQ(engine_.LoginServer(), "") << "entry 18 is not on a drawn row yet";
  using Scroll = ServerListView::Scroll;
  const struct {
    Scroll how;
    int position;
    int top;  // and thumb
  } moves[] = {
      {Scroll::Track, 1, 1},   {Scroll::Other, 2, 1},    {Scroll::PageDown, 0, 3}, {Scroll::LineDown, 0, 3},
      {Scroll::Track, 9, 3},   {Scroll::PageUp, 0, 0},   {Scroll::LineUp, 0, 0},   {Scroll::LineDown, 0, 1},
  };
  for (const auto& move : moves) {
    EXPECT_TRUE(view_.Scrolled(move.how, move.position));
    EXPECT_EQ(std::pair(view_.Top(), surface_.thumb), std::pair(move.top, move.top))
        << static_cast<int>(move.how) << " " << move.position;
  }
  EXPECT_EQ(engine_.LoginServer(), "127.0.0.19") << "drawn on row 15 at position 3";
  EXPECT_EQ(surface_.names[0], "s2");

  WheelUp(kServerListScrollBarRect);
  EXPECT_EQ(view_.Top(), 0);
  view_.Wheel(20, 200, true, false);
  EXPECT_EQ(view_.Top(), 1) << "down over the panel";
  WheelUp({300, 400, 500, 440});
  WheelUp(kListPanelRect, false);
  EXPECT_EQ(view_.Top(), 1) << "outside the list, or a horizontal turn";
  EXPECT_TRUE(view_.ShowFrom(21));
  EXPECT_EQ(view_.Top(), 0) << "beyond the list: from the top";
}

TEST_F(ServerListViewTest, ClickChoosesAShownServerAndLateLatenciesAreDropped) {
  AddServers(3, 1);
  ASSERT_TRUE(view_.BarShown(1));
  EXPECT_EQ(engine_.LoginServer(), "127.0.0.2");
  view_.Click(5);
  EXPECT_EQ(std::tuple(Selected(), engine_.LoginServer()), std::tuple(1, "127.0.0.2")) << "an empty row";
  view_.Click(2);
  EXPECT_EQ(std::tuple(Selected(), engine_.LoginServer()), std::tuple(2, "127.0.0.3"));
  EXPECT_FALSE(view_.BarShown(1));
  EXPECT_TRUE(view_.BarShown(2));

  ASSERT_TRUE(engine_.SetEntryLatency(0, "127.0.0.1", 9));
  view_.ShowLatency(1, 0, "9 ms");  // measured while the entry sat on another row
  view_.ShowLatency(0, 0, "8 ms");  // an older measurement
  EXPECT_EQ(std::pair(surface_.latencies[0], surface_.latencies[1]),
            std::pair(std::string("0 ms"), std::string("0 ms")));
  view_.ShowLatency(0, 0, "9 ms");
  EXPECT_EQ(surface_.latencies[0], "9 ms");

  view_.ClearSelection();
  EXPECT_EQ(std::pair(Selected(), view_.BarShown(2)), std::pair(-1, false));
}

}  // namespace
