#pragma once
// What the window tests share: running wx's events while waiting, and reading the screen.

#include <wx/image.h>
#include <wx/window.h>

#include <functional>
#include <ostream>
#include <string>

// Runs the main thread's events until `done` holds or `timeoutMs` passes; the last `done`.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
void PumpFor(int ms);

// The screen's pixels in `area` (screen coordinates), as the player sees them.
wxImage GrabScreen(const wxRect& area);
// The client area of `window`, or its `part` (client coordinates).
wxImage GrabClient(const wxWindow& window);
wxImage GrabClient(const wxWindow& window, const wxRect& part);

// "(r,g,b)" of a pixel, for readable failures.
std::string PixelText(const wxImage& image, int x, int y);
std::string ColourText(const wxColour& colour);
// How many pixels of two equally sized images differ; -1 when the sizes differ.
int DifferingPixels(const wxImage& a, const wxImage& b);
// The sum of the colour differences of two equally sized images; -1 when the sizes differ.
long ColourDistance(const wxImage& a, const wxImage& b);

// gtest prints colours as "(r,g,b)".
inline void PrintTo(const wxColour& colour, std::ostream* out) { *out << ColourText(colour); }
