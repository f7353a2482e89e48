#include "window/wx/SkinBitmaps.h"

#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>

#include <span>

#include "platform/Resources.h"

namespace {

wxBitmap DecodePng(std::span<const uint8_t> png) {
  if (png.empty()) return {};
  if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
  wxMemoryInputStream stream(png.data(), png.size());
  wxImage image;
  // A damaged picture is a missing one; wx would otherwise log an error box of its own.
  wxLogNull quiet;
  if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG)) return {};
  return wxBitmap(image);
}

}  // namespace

wxBitmap LoadSkinBitmap(int id) { return DecodePng(platform::FindBitmapResource(id)); }

wxIconBundle LoadWindowIcons(int id) {
  wxIconBundle icons;
  for (std::span<const uint8_t> png : platform::FindIconResource(id)) {
    const wxBitmap bitmap = DecodePng(png);
    if (!bitmap.IsOk()) continue;
    wxIcon icon;
    icon.CopyFromBitmap(bitmap);
    icons.AddIcon(icon);
  }
  return icons;
}
