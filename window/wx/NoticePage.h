#pragma once
// The publisher's notice page in the window: a web view that may show http and https pages
// only. Pages that want a new window open in the player's browser instead; there is no context
// menu and no developer tools. Without a web view backend the page is simply absent.

#include <wx/window.h>

#include <functional>
#include <string>

#include "window/NoticeAddress.h"

class wxWebView;
class wxWebViewEvent;

class NoticePage {
 public:
  // `openInBrowser` receives the allowed addresses that a page wants opened in a new window.
  NoticePage(wxWindow* parent, wxWindowID id, const wxRect& rect, std::function<void(const std::string&)> openInBrowser);
  ~NoticePage();
  NoticePage(const NoticePage&) = delete;
  NoticePage& operator=(const NoticePage&) = delete;

  bool Available() const { return view_ != nullptr; }
  // Main thread. Shows `address` when it is allowed; any other address is refused.
  void Navigate(const std::string& address);
  // True once a page of an allowed address has finished loading without an error.
  bool HasLoaded() const { return load_.HasLoaded(); }
  // Shows the page over the placeholder.
  void Reveal();

 private:
  void OnNavigating(wxWebViewEvent& event);
  void OnLoaded(wxWebViewEvent& event);
  void OnError(wxWebViewEvent& event);
  void OnNewWindow(wxWebViewEvent& event);

  wxWindow* host_ = nullptr;   // a child of the window, which destroys it
  wxWebView* view_ = nullptr;  // a child of the host
  std::function<void(const std::string&)> openInBrowser_;
  NoticeLoad load_;
};
