#include "window/wx/LauncherDlg.h"

#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/fontenum.h>
#include <wx/menu.h>
#include <wx/thread.h>

#include <array>

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "window/Catalogue.h"
#include "window/wx/AboutBox.h"
#include "window/wx/LauncherButtonCtrl.h"
#include "window/wx/LauncherProgressCtrl.h"
#include "window/wx/LauncherStaticCtrl.h"
#include "window/wx/NoticePage.h"
#include "window/wx/ServerListArea.h"
#include "window/wx/SkinBitmaps.h"

namespace {

constexpr int kTimerId = 1;
constexpr int kTimerPeriodMs = 1000;
constexpr int kAboutMenuId = 16;
constexpr int kAboutMessage = 101;
constexpr int kPointSize = 9;
constexpr int kCharsetShiftJis = 128;
constexpr int kCharsetGb2312 = 134;
const wxColour kSkinBackground(24, 32, 48);

wxRect ToRect(const LayoutRect& rect) { return {rect.left, rect.top, rect.Width(), rect.Height()}; }

std::string CatalogueTextOr(int id, const char* fallback) {
  std::string text = LoadCatalogueString(id);
  return text.empty() ? fallback : text;
}

// "Arial" where it is installed, else its metric-compatible twin; the Japanese and Chinese
// layouts take a face that has their glyphs, so labels never show empty boxes.
wxFont SkinFont(int charset) {
  static constexpr std::array<const char*, 2> kLatin = {"Arial", "Liberation Sans"};
  static constexpr std::array<const char*, 2> kJapanese = {"Noto Sans CJK JP", "Noto Sans JP"};
  static constexpr std::array<const char*, 2> kChinese = {"Noto Sans CJK SC", "Noto Sans SC"};
  const auto& faces = charset == kCharsetShiftJis ? kJapanese : charset == kCharsetGb2312 ? kChinese : kLatin;
  for (const char* face : faces)
    if (wxFontEnumerator::IsValidFacename(face)) return wxFont(wxFontInfo(kPointSize).FaceName(face));
  // Fontconfig picks the nearest face it has.
  return wxFont(wxFontInfo(kPointSize).FaceName(faces.front()));
}

// Pictures are centred in their places and cut to them.
void DrawCentred(wxDC& dc, int bitmapId, const LayoutRect& place) {
  const wxBitmap picture = LoadSkinBitmap(bitmapId);
  if (!picture.IsOk() || place.Empty()) return;
  wxDCClipper clip(dc, ToRect(place));
  dc.DrawBitmap(picture, place.left + (place.Width() - picture.GetWidth()) / 2,
                place.top + (place.Height() - picture.GetHeight()) / 2, true);
}

// The skin leaves 14 x 14 pixels for a box; GTK's check button pads its indicator beyond that.
class SkinCheckBox final : public wxCheckBox {
 public:
  SkinCheckBox(wxWindow* parent, wxWindowID id, const wxRect& rect)
      : wxCheckBox(parent, id, wxString(), rect.GetPosition(), rect.GetSize()) {
#ifdef __WXGTK3__
    GTKApplyCssStyle(
        "checkbutton { padding: 0; margin: 0; }"
        "check { margin: 0; min-width: 12px; min-height: 12px; }");
#endif
    SetSize(rect);
  }
};

wxBitmap ComposeSkin(const LauncherLayout& layout) {
  wxBitmap skin(kClientWidth, kClientHeight, 24);
  wxMemoryDC dc(skin);
  dc.SetBackground(wxBrush(kSkinBackground));
  dc.Clear();
  DrawCentred(dc, layout.noticePlaceholder, layout.notice.Shrunk(2));
  DrawCentred(dc, layout.topBanner, kTopBannerRect);
  DrawCentred(dc, layout.bottomBanner, kBottomBannerRect);
  if (layout.listPanel != 0) DrawCentred(dc, layout.listPanel, kListPanelRect);
  dc.SelectObject(wxNullBitmap);
  return skin;
}

}  // namespace

CLauncherDlg::CLauncherDlg(PatchEngine& engine, WindowLayout layout, bool autoRun)
    : wxDialog(nullptr, wxID_ANY, "Solane Launcher", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX),
      engine_(engine),
      layout_(LayoutFor(layout)),
      timer_(this, kTimerId),
      actions_(engine, *this, MainThreadBoxes(), layout_.serverRows, autoRun) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  AddAboutEntry();
  const wxIconBundle icons = LoadWindowIcons(kWindowIcon);
  if (!icons.IsEmpty()) SetIcons(icons);
  // The stored list and choice come before the rows are drawn; the update merges the server's.
  if (engine_.UsesServerList()) engine_.LoadServerFile();
  BuildLayout();
  CreateNoticePage();
  SetClientSize(kClientWidth, kClientHeight);
  Centre();

  Bind(wxEVT_PAINT, &CLauncherDlg::OnPaint, this);
  Bind(wxEVT_TIMER, &CLauncherDlg::OnTimer, this, kTimerId);
  Bind(wxEVT_IDLE, &CLauncherDlg::OnIdle, this);
  Bind(wxEVT_CLOSE_WINDOW, &CLauncherDlg::OnClose, this);
  Bind(wxEVT_CHAR_HOOK, &CLauncherDlg::OnCharHook, this);
  Bind(wxEVT_CONTEXT_MENU, &CLauncherDlg::OnContextMenu, this);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { actions_.StartPressed(); }, kIdStartButton);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { actions_.ExitProcedure(); }, kIdExitButton);
  Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { actions_.RegistrationPressed(); }, kIdRegistrationButton);
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { ShowAbout(); }, kAboutMenuId);
}

CLauncherDlg::~CLauncherDlg() {
  timer_.Stop();
  // The page's and the list's handlers go before the child windows do.
  notice_.reset();
  serverList_.reset();
}

// --- Building the window ------------------------------------------------------------------------

void CLauncherDlg::AddAboutEntry() {
  // The entry keeps the platform's language, whatever the region's.
  aboutText_ = wxString::FromUTF8(LoadCatalogueStringIn(kLanguageEnglish, kAboutMessage));
}

void CLauncherDlg::BuildLayout() {
  const wxFont font = SkinFont(layout_.fontCharset);
  SetFont(font);
  skin_ = ComposeSkin(layout_);

  statusLine_ = new CLauncherStaticCtrl(this, wxID_ANY, ToRect(layout_.statusLine),
                                        CatalogueTextOr(layout_.initialStatusMessage, kFallbackInitialStatus));
  fileBar_ = new CLauncherProgressCtrl(this, kIdFileBar, ToRect(layout_.FileBar()));
  totalBar_ = new CLauncherProgressCtrl(this, kIdTotalBar, ToRect(layout_.TotalBar()));

  auto makeButton = [this](const LayoutButton& place) {
    auto* button = new CLauncherButtonCtrl(this, place.id, wxPoint(place.rect.left, place.rect.top));
    button->LoadBitmaps(LoadSkinBitmap(place.NormalBitmap()), LoadSkinBitmap(place.PressedBitmap()),
                        LoadSkinBitmap(place.MouseOverBitmap()), LoadSkinBitmap(place.DisabledBitmap()));
    return button;
  };
  startButton_ = makeButton(layout_.startButton);
  secondButton_ = makeButton(layout_.secondButton);

  if (layout_.windowMode.Present())
    CreateCheckBox(layout_.windowMode, kIdWindowModeBox, actions_.ReadWindowMode(),
                   [this](bool checked) { actions_.SetWindowMode(checked); });
  CreateCheckBox(layout_.autoRun, kIdAutoRunBox, actions_.AutoRun(),
                 [this](bool checked) { actions_.SetAutoRun(checked); });

  versionLine_ = new CLauncherStaticCtrl(this, wxID_ANY, ToRect(kVersionLineRect), "");
  versionLine_->SetFormat(kTextFormatRight);
  if (layout_.serverRows) serverList_ = std::make_unique<ServerListArea>(*this, engine_);
  for (wxWindow* child : GetChildren()) child->SetFont(font);
}

void CLauncherDlg::CreateCheckBox(const LayoutCheckBox& place, wxWindowID id, bool checked,
                                  std::function<void(bool)> changed) {
  auto* box = new SkinCheckBox(this, id, ToRect(place.box));
  box->SetValue(checked);
  changed(checked);
  box->Bind(wxEVT_CHECKBOX, [changed](wxCommandEvent& event) {
    changed(event.IsChecked());
    event.Skip();
  });
  auto* label = new CLauncherStaticCtrl(this, wxID_ANY, ToRect(place.label),
                                        CatalogueTextOr(place.labelMessage, place.fallbackLabel));
  label->SetLinkedCheckBox(box);
  (id == kIdWindowModeBox ? windowModeBox_ : autoRunBox_) = box;
}

void CLauncherDlg::CreateNoticePage() {
  notice_ = std::make_unique<NoticePage>(this, kIdNoticeBrowser, ToRect(layout_.notice),
                                         [this](const std::string& address) { engine_.OpenBrowser(address); });
  notice_->Navigate(ProfileFor(engine_.GetLocale(), engine_.GetPublisher()).noticePage);
}

void CLauncherDlg::DrawSkin(wxDC& dc, const wxPoint& origin) const {
  if (skin_.IsOk()) dc.DrawBitmap(skin_, -origin.x, -origin.y);
  if (serverList_) serverList_->DrawBars(dc, origin);
}

void CLauncherDlg::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  DrawSkin(dc, wxPoint(0, 0));
}

// --- Running ----------------------------------------------------------------------------------

ConsoleOutcome CLauncherDlg::RunModal() {
  engine_.AttachWindow(this);
  engine_.StartUpdate();
  if (serverList_) engine_.StartProbe();
  timer_.Start(kTimerPeriodMs);
  ShowModal();
  timer_.Stop();
  // From here on the engine's output goes nowhere; the caller waits for the sequence and the probe.
  engine_.AttachWindow(nullptr);
  return actions_.OutcomeOfRun();
}

void CLauncherDlg::OnTimer(wxTimerEvent&) {
  PlaceholderCheck();
  actions_.Tick();
}

// Idle passes run in every loop, a box's as well: there the window goes on ending the boxes.
void CLauncherDlg::OnIdle(wxIdleEvent& event) {
  actions_.Tick();
  event.Skip();
}

void CLauncherDlg::PlaceholderCheck() {
  if (!placeholderShown_ || !notice_->HasLoaded()) return;
  notice_->Reveal();
  placeholderShown_ = false;
}

void CLauncherDlg::EndLoop() {
  timer_.Stop();
  if (IsModal()) EndModal(wxID_OK);
}

// --- The player's actions -----------------------------------------------------------------------

void CLauncherDlg::DisableStartButton() { startButton_->Disable(); }

void CLauncherDlg::OnClose(wxCloseEvent& event) {
  if (!event.CanVeto()) {
    event.Skip();
    return;
  }
  // The title-bar close and Esc run the exit procedure, which closes when it may.
  event.Veto();
  actions_.ExitProcedure();
}

void CLauncherDlg::OnCharHook(wxKeyEvent& event) {
  switch (event.GetKeyCode()) {
    case WXK_F1: ShowAbout(); return;
    case WXK_ESCAPE: actions_.ExitProcedure(); return;
    default: event.Skip();
  }
}

void CLauncherDlg::OnContextMenu(wxContextMenuEvent& event) {
  const wxPoint where = ScreenToClient(event.GetPosition());
  if (aboutText_.empty() || !ToRect(kTopBannerRect).Contains(where)) return;
  wxMenu menu;
  menu.Append(kAboutMenuId, aboutText_);
  PopupMenu(&menu, where);
}

void CLauncherDlg::ShowAbout() {
  // A window that is ending opens no new box.
  if (aboutText_.empty() || !actions_.MayOpenBox()) return;
  ShowAboutBox(this, engine_.ProfileDescription());
}

// --- The engine's output (any thread) ---------------------------------------------------------

void CLauncherDlg::SetStatusLine(const std::string& text) { statusLine_->SetText(text); }
void CLauncherDlg::SetFileBarRange(int lowerKiB, int upperKiB) { fileBar_->SetRange(lowerKiB, upperKiB); }
void CLauncherDlg::SetFileBarPos(int posKiB) { fileBar_->SetPos(posKiB); }
void CLauncherDlg::SetTotalBarRange(int lowerKiB, int upperKiB) { totalBar_->SetRange(lowerKiB, upperKiB); }
void CLauncherDlg::SetTotalBarPos(int posKiB) { totalBar_->SetPos(posKiB); }
void CLauncherDlg::GetTotalBarRange(int& lowerKiB, int& upperKiB) const { totalBar_->GetRange(lowerKiB, upperKiB); }
void CLauncherDlg::SetVersionLine(const std::string& text) { versionLine_->SetText(text); }

void CLauncherDlg::NavigateNotice(const std::string& address) {
  link_.Post([this, address] { notice_->Navigate(address); });
}

void CLauncherDlg::ShowStartButton(bool visible) {
  startShown_ = visible;
  buttonsChanged_.Queue(link_, [this] {
    startButton_->Show(startShown_.load());
    secondButton_->Show(secondShown_.load());
  });
}

void CLauncherDlg::ShowExitButton(bool visible) {
  secondShown_ = visible;
  buttonsChanged_.Queue(link_, [this] {
    startButton_->Show(startShown_.load());
    secondButton_->Show(secondShown_.load());
  });
}

void CLauncherDlg::SaveSettings() { actions_.SaveSettings(); }

void CLauncherDlg::RunExitProcedure() {
  if (wxThread::IsMain())
    actions_.ExitProcedure();
  else
    link_.Post([this] { actions_.ExitProcedure(); });
}

void CLauncherDlg::CloseWindow() {
  if (!wxThread::IsMain()) actions_.ClosedBySequence(startShown_.load());
  if (wxThread::IsMain())
    actions_.EndWindow();
  else
    link_.Post([this] { actions_.EndWindow(); });
}

void CLauncherDlg::ShowServerRows(int firstRow) {
  if (serverList_) serverList_->ShowRows(firstRow);
}

int CLauncherDlg::ServerListTop() const { return serverList_ ? serverList_->Top() : 0; }

void CLauncherDlg::SetServerRowLatency(int row, int entryIndex, const std::string& text) {
  if (serverList_) serverList_->ShowLatency(row, entryIndex, text);
}
