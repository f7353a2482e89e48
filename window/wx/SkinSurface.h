#pragma once
// The skinned window paints its pictures as its own background. A GTK child window cannot let
// its parent show through, so a skin control paints the piece of the skin under itself before
// its own content: to the player it is transparent.

#include <wx/dc.h>
#include <wx/window.h>

class SkinSurface {
 public:
  virtual ~SkinSurface() = default;
  // Draws the skin into `dc` with the client point `origin` at the dc's (0, 0).
  virtual void DrawSkin(wxDC& dc, const wxPoint& origin) const = 0;
};

// Fills `dc` (the whole of `child`) with what lies behind it: the parent's skin, or the
// parent's background colour where the parent has no skin.
inline void PaintSkinBehind(const wxWindow& child, wxDC& dc) {
  const wxWindow* parent = child.GetParent();
  if (const auto* surface = dynamic_cast<const SkinSurface*>(parent)) {
    surface->DrawSkin(dc, child.GetPosition());
    return;
  }
  dc.SetBackground(wxBrush(parent ? parent->GetBackgroundColour() : child.GetBackgroundColour()));
  dc.Clear();
}
