#include "window/wx/NoticePage.h"

#include <wx/webview.h>

#include <cstdlib>

namespace {

// WebKit's GPU paths fail without a GPU and inside containers; software drawing works everywhere.
void PreferSoftwareRendering() {
  setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
  setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
}

// The page's host window. The notice is read and clicked, not typed into: Tab passes it by, as
// inside a page the web view would keep Tab to itself and the buttons could not be reached.
class NoticeHost final : public wxWindow {
 public:
  NoticeHost(wxWindow* parent, wxWindowID id, const wxRect& rect)
      : wxWindow(parent, id, rect.GetPosition(), rect.GetSize(), wxBORDER_NONE) {}
  bool AcceptsFocusFromKeyboard() const override { return false; }
};

}  // namespace

NoticePage::NoticePage(wxWindow* parent, wxWindowID id, const wxRect& rect,
                       std::function<void(const std::string&)> openInBrowser)
    : openInBrowser_(std::move(openInBrowser)) {
  PreferSoftwareRendering();
  if (!wxWebView::IsBackendAvailable(wxWebViewBackendDefault)) return;
  // Created empty: the first address goes through the same check as every later one.
  // Hidden until a page has loaded: the placeholder shows meanwhile.
  host_ = new NoticeHost(parent, id, rect);
  host_->Hide();
  view_ = wxWebView::New(host_, wxID_ANY, wxString(), wxPoint(0, 0), rect.GetSize(), wxWebViewBackendDefault,
                         wxBORDER_NONE);
  if (!view_) return;
  view_->EnableContextMenu(false);
  view_->EnableAccessToDevTools(false);
  view_->Bind(wxEVT_WEBVIEW_NAVIGATING, &NoticePage::OnNavigating, this);
  view_->Bind(wxEVT_WEBVIEW_LOADED, &NoticePage::OnLoaded, this);
  view_->Bind(wxEVT_WEBVIEW_ERROR, &NoticePage::OnError, this);
  view_->Bind(wxEVT_WEBVIEW_NEWWINDOW, &NoticePage::OnNewWindow, this);
}

// The window destroys the view after this object: nothing may call back into it by then.
NoticePage::~NoticePage() {
  if (!view_) return;
  view_->Unbind(wxEVT_WEBVIEW_NAVIGATING, &NoticePage::OnNavigating, this);
  view_->Unbind(wxEVT_WEBVIEW_LOADED, &NoticePage::OnLoaded, this);
  view_->Unbind(wxEVT_WEBVIEW_ERROR, &NoticePage::OnError, this);
  view_->Unbind(wxEVT_WEBVIEW_NEWWINDOW, &NoticePage::OnNewWindow, this);
}

void NoticePage::Navigate(const std::string& address) {
  if (!view_ || !IsNoticeAddressAllowed(address)) return;
  view_->LoadURL(wxString::FromUTF8(address));
}

void NoticePage::Reveal() {
  if (view_ && !host_->IsShown()) host_->Show();
}

// Every navigation, the page's own links, redirects and frames included, passes here.
void NoticePage::OnNavigating(wxWebViewEvent& event) {
  // An empty target is the page itself.
  if (!load_.Navigating(event.GetURL().utf8_string(), event.GetTarget().empty())) event.Veto();
}

void NoticePage::OnLoaded(wxWebViewEvent& event) { load_.Loaded(event.GetURL().utf8_string()); }

void NoticePage::OnError(wxWebViewEvent&) { load_.Failed(); }

void NoticePage::OnNewWindow(wxWebViewEvent& event) {
  const std::string address = event.GetURL().utf8_string();
  if (IsNoticeAddressAllowed(address) && openInBrowser_) openInBrowser_(address);
}
