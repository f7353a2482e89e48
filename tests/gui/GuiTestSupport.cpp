#include "tests/gui/GuiTestSupport.h"

#include <wx/app.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdlib>
#include <thread>

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return done();
    wxTheApp->Yield(true);
    wxTheApp->ProcessPendingEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Straight from the X server: wx's screen device hands back a copy it made earlier.
wxImage GrabScreen(const wxRect& area) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return {};
  XImage* pixels = XGetImage(display, DefaultRootWindow(display), area.x, area.y, area.width, area.height,
                             AllPlanes, ZPixmap);
  wxImage image;
  if (pixels) {
    image.Create(area.width, area.height, false);
    for (int y = 0; y < area.height; ++y)
      for (int x = 0; x < area.width; ++x) {
        const unsigned long pixel = XGetPixel(pixels, x, y);
        image.SetRGB(x, y, (pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff);
      }
    XDestroyImage(pixels);
  }
  XCloseDisplay(display);
  return image;
}

wxImage GrabClient(const wxWindow& window, const wxRect& part) {
  return GrabScreen(wxRect(window.ClientToScreen(part.GetPosition()), part.GetSize()));
}

long ColourDistance(const wxImage& a, const wxImage& b) {
  if (!a.IsOk() || !b.IsOk() || a.GetSize() != b.GetSize()) return -1;
  long distance = 0;
  for (int i = 0; i < a.GetWidth() * a.GetHeight() * 3; ++i) distance += std::abs(a.GetData()[i] - b.GetData()[i]);
  return distance;
}
