#pragma once
// The six regional layouts of the main window as one table: where each control sits, which
// pictures it shows, which boxes and which second button exist. The window builds every layout
// with one routine from its row; a new layout is a new row.

#include "app/Profiles.h"

// Client pixels, (left, top)-(right, bottom), right and bottom exclusive.
struct LayoutRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  LayoutRect Moved(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
  LayoutRect Shrunk(int by) const { return {left + by, top + by, right - by, bottom - by}; }
  bool Empty() const { return right <= left || bottom <= top; }
};

// A skin button's four pictures are consecutive resources from `firstBitmap`: disabled, pressed,
// mouse-over, normal.
struct LayoutButton {
  int id = 0;
  LayoutRect rect;
  int firstBitmap = 0;

  int DisabledBitmap() const { return firstBitmap; }
  int PressedBitmap() const { return firstBitmap + 1; }
  int MouseOverBitmap() const { return firstBitmap + 2; }
  int NormalBitmap() const { return firstBitmap + 3; }
};

// A check box and the label that toggles it; absent when the box rectangle is empty.
struct LayoutCheckBox {
  LayoutRect box;
  LayoutRect label;
  int labelMessage = 0;
  const char* fallbackLabel = "";

  bool Present() const { return !box.Empty(); }
};

struct LauncherLayout {
  WindowLayout layout;
  int fontCharset;
  int topBanner;
  int bottomBanner;
  LayoutRect statusLine;
  int initialStatusMessage;
  LayoutButton startButton;
  SecondButton secondButtonRole;
  LayoutButton secondButton;
  LayoutCheckBox windowMode;
  LayoutCheckBox autoRun;
  LayoutRect notice;
  int noticePlaceholder;
  int listPanel;  // 0: no login server panel
  bool serverRows;

  // The bars lie under the status line: the file bar 16 pixels down, the total bar 18 further.
  LayoutRect FileBar() const { return statusLine.Moved(0, 16); }
  LayoutRect TotalBar() const { return statusLine.Moved(0, 34); }
};

// Command ids and control ids that the layouts share.
inline constexpr int kIdStartButton = 1;
inline constexpr int kIdExitButton = 2;
inline constexpr int kIdFileBar = 300;
inline constexpr int kIdTotalBar = 301;
inline constexpr int kIdWindowModeBox = 302;
inline constexpr int kIdAutoRunBox = 303;
inline constexpr int kIdNoticeBrowser = 304;
inline constexpr int kIdRegistrationButton = 305;

inline constexpr int kIdServerListScrollBar = 306;
inline constexpr int kIdFirstServerRow = 307;  // the click area of row i has id 307 + i

inline constexpr int kClientWidth = 633;
inline constexpr int kClientHeight = 470;
inline constexpr LayoutRect kTopBannerRect{0, 0, 633, 69};
inline constexpr LayoutRect kBottomBannerRect{0, 379, 633, 470};
inline constexpr LayoutRect kListPanelRect{0, 69, 228, 379};
inline constexpr LayoutRect kVersionLineRect{304, 15, 580, 36};
inline constexpr int kWindowIcon = 128;

// The login server rows over the list panel: row i spans y 88 + 17 i to 105 + 17 i; per row a
// click area with the selection bar under it, the name text and the latency text.
struct ServerRowColumns {
  int left;
  int right;
};
inline constexpr ServerRowColumns kServerRowArea{1, 210};
inline constexpr ServerRowColumns kServerRowName{12, 120};
inline constexpr ServerRowColumns kServerRowLatency{139, 201};
inline constexpr int kServerRowTop = 88;
inline constexpr int kServerRowHeight = 17;
inline constexpr LayoutRect kServerListScrollBarRect{210, 69, 227, 379};
inline constexpr int kSelectionBarBitmap = 178;

constexpr LayoutRect ServerRowRect(int row, ServerRowColumns columns) {
  const int top = kServerRowTop + kServerRowHeight * row;
  return {columns.left, top, columns.right, top + kServerRowHeight};
}

// Text-drawing flags of a label: vertically centred, left or right aligned.
inline constexpr int kTextFormatLeft = 4;
inline constexpr int kTextFormatRight = 6;

// The fall-back texts where the catalogue has none.
inline constexpr const char* kFallbackInitialStatus = "Update Start";

const LauncherLayout& LayoutFor(WindowLayout layout);
