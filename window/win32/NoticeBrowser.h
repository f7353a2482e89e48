#pragma once
// The publisher's notice page on Windows: the system's WebBrowser control, hosted through COM in a
// child of the window (client site, in-place site and frame, and a sink for the control's events).
// It may show http and https pages only; pages that want a new window open in the player's
// browser instead. Where the control or its browser interface is missing (a system without an
// HTML engine, a thread that is no single-threaded apartment), the page is simply absent and the
// placeholder under it stays. Everything here runs on the window's thread.

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <atomic>
#include <functional>
#include <string>

#include "window/LauncherLayout.h"
#include "window/NoticeAddress.h"

struct IWebBrowser2;

namespace win32window {

// Receives the allowed addresses that a page wants opened in a new window.
using BrowserOpener = std::function<void(const std::string&)>;

// The control's events (DWebBrowserEvents2), as the control delivers them through Invoke: a
// navigation to anything but http and https is cancelled; a new window is cancelled and its
// address, when allowed, handed to the opener; the page's own loads are noted for the placeholder.
class NoticeEvents final : public IDispatch {
 public:
  explicit NoticeEvents(BrowserOpener openInBrowser) : openInBrowser_(std::move(openInBrowser)) {}
  // The control whose navigations are the page's own; those of other browser objects are frames'.
  void SetPage(IUnknown* page);
  // True once a page of an allowed address has loaded without an error.
  bool HasLoaded() const { return load_.HasLoaded(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                   UINT*) override;

 private:
  ~NoticeEvents();
  bool IsPage(const VARIANTARG& browser) const;

  std::atomic<ULONG> references_{1};
  BrowserOpener openInBrowser_;
  IUnknown* page_ = nullptr;  // the control's identity, only compared: no reference is held
  NoticeLoad load_;
};

class NoticeSite;

class NoticeBrowser {
 public:
  // Creates the control (the system's WebBrowser unless a test names another class) as child
  // `id` of `parent` on `place`. The page stays hidden until a page has loaded.
  NoticeBrowser(HWND parent, int id, const LayoutRect& place, BrowserOpener openInBrowser,
                const CLSID* control = nullptr);
  ~NoticeBrowser();
  NoticeBrowser(const NoticeBrowser&) = delete;
  NoticeBrowser& operator=(const NoticeBrowser&) = delete;

  bool Available() const { return browser_ != nullptr; }
  // Shows `address` when it is allowed; any other address is refused.
  void Navigate(const std::string& address);
  // True once a page of an allowed address has loaded without an error.
  bool HasLoaded() const { return events_ && events_->HasLoaded(); }
  // Shows the page over the placeholder.
  void Reveal();

 private:
  bool Embed(const CLSID& control, const LayoutRect& place, BrowserOpener openInBrowser);
  void Configure();
  void Discard();

  bool oleReady_ = false;  // OLE initialised for this object on the window's thread
  HWND host_ = nullptr;    // the child window that holds the control
  NoticeSite* site_ = nullptr;
  NoticeEvents* events_ = nullptr;
  IOleObject* object_ = nullptr;
  IWebBrowser2* browser_ = nullptr;
  IConnectionPoint* eventSource_ = nullptr;
  DWORD eventCookie_ = 0;
};

}  // namespace win32window
