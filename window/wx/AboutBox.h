#pragma once
// The About box: the launcher's name, version and the description of the server profile.

#include <wx/window.h>

#include <string>

// Shows the box modally over `parent` with `profileDescription` (empty before the update
// sequence has read the profile).
void ShowAboutBox(wxWindow* parent, const std::string& profileDescription);
