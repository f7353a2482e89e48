#pragma once
// What the window tests share: running wx's events while waiting, and reading the screen.

#include <wx/image.h>
#include <wx/window.h>

#include <functional>
#include <ostream>
#include <string>

// Runs the main thread's events until `done` holds or `timeoutMs` passes; the last `done`.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
inline void PumpFor(int ms) { PumpUntil([] { return false; }, ms); }

// The screen's pixels in `area` (screen coordinates), as the player sees them.
wxImage GrabScreen(const wxRect& area);
// `part` (client coordinates) of `window` on the screen.
wxImage GrabClient(const wxWindow& window, const wxRect& part);
inline wxColour ColourAt(const wxImage& image, int x, int y) {
  return {image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)};
}

// The sum of the colour differences of two equally sized images (0: the same); -1 when the
// sizes differ.
long ColourDistance(const wxImage& a, const wxImage& b);

// gtest prints colours as "(r,g,b)".
inline void PrintTo(const wxColour& colour, std::ostream* out) {
  *out << "(" << int(colour.Red()) << "," << int(colour.Green()) << "," << int(colour.Blue()) << ")";
}
