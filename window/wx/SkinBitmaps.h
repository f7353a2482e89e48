#pragma once
// The window's pictures, decoded from the PNG resources compiled into the launcher.

#include <wx/bitmap.h>
#include <wx/iconbndl.h>

// Bitmap resource `id`; an invalid bitmap (IsOk() false) when the launcher has no such picture,
// so a missing picture draws nothing.
wxBitmap LoadSkinBitmap(int id);

// Icon resource `id` in every size it comes in; empty when there is none.
wxIconBundle LoadWindowIcons(int id);
