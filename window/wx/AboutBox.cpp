#include "window/wx/AboutBox.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "app/EntryOptions.h"
#include "window/LauncherLayout.h"
#include "window/WindowFlow.h"
#include "window/wx/SkinBitmaps.h"

namespace {

constexpr int kIdDescription = 1011;

}  // namespace

void ShowAboutBox(wxWindow* parent, const std::string& profileDescription) {
  wxDialog box(parent, wxID_ANY, "Solane Launcher Information");
  auto* columns = new wxBoxSizer(wxHORIZONTAL);
  const wxBitmap icon = LoadSkinBitmap(kWindowIcon);
  if (icon.IsOk()) columns->Add(new wxStaticBitmap(&box, wxID_ANY, icon), 0, wxALL, 12);

  auto* lines = new wxBoxSizer(wxVERTICAL);
  lines->Add(new wxStaticText(&box, wxID_ANY, "Solane Launcher Version"), 0, wxBOTTOM, 4);
  lines->Add(new wxStaticText(&box, wxID_ANY, wxString::FromUTF8(LauncherVersionText())), 0, wxBOTTOM, 8);
  lines->Add(new wxStaticText(&box, kIdDescription, wxString::FromUTF8(profileDescription)), 0, wxBOTTOM, 8);
  columns->Add(lines, 1, wxTOP | wxRIGHT, 12);

  auto* all = new wxBoxSizer(wxVERTICAL);
  all->Add(columns, 1, wxEXPAND);
  all->Add(new wxButton(&box, wxID_OK, "OK"), 0, wxALIGN_RIGHT | wxALL, 10);
  box.SetSizerAndFit(all);
  box.CentreOnParent();
  const OpenBoxes::Entry open = MainThreadBoxes().Opened([&box] {
    if (box.IsModal()) box.EndModal(wxID_OK);
  });
  box.ShowModal();
}
