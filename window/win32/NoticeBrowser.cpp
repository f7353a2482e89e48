#include "window/win32/NoticeBrowser.h"

#include <exdisp.h>
#include <exdispid.h>

#include "platform/win32/WideText.h"

namespace win32window {

namespace {

constexpr wchar_t kHostClass[] = L"SolaneNoticeHost";

// The text of an event argument as the control passes it: a BSTR, or a reference to one or to a
// VARIANT that holds one. Anything else reads as empty, which no rule allows.
std::string TextOf(const VARIANTARG& argument) {
  if (argument.vt == VT_BSTR && argument.bstrVal)
    return platform::Narrow(std::wstring_view(argument.bstrVal, SysStringLen(argument.bstrVal)));
  if (argument.vt == (VT_BYREF | VT_BSTR) && argument.pbstrVal && *argument.pbstrVal)
    return platform::Narrow(std::wstring_view(*argument.pbstrVal, SysStringLen(*argument.pbstrVal)));
  if (argument.vt == (VT_BYREF | VT_VARIANT) && argument.pvarVal) return TextOf(*argument.pvarVal);
  return {};
}

void Cancel(VARIANTARG& argument) {
  if (argument.vt == (VT_BYREF | VT_BOOL) && argument.pboolVal) *argument.pboolVal = VARIANT_TRUE;
}

// COM identity: the IUnknown that every interface of one object answers with.
IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  identity->Release();  // only compared, never called
  return identity;
}

bool RegisterHostClass() {
  WNDCLASSEXW hostClass{};
  hostClass.cbSize = sizeof(hostClass);
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kHostClass, &hostClass)) return true;
  hostClass.lpfnWndProc = DefWindowProcW;
  hostClass.hInstance = GetModuleHandleW(nullptr);
  hostClass.lpszClassName = kHostClass;
  return RegisterClassExW(&hostClass) != 0;
}

}  // namespace

// --- The control's events -----------------------------------------------------------------------

NoticeEvents::~NoticeEvents() = default;

void NoticeEvents::SetPage(IUnknown* page) { page_ = IdentityOf(page); }

bool NoticeEvents::IsPage(const VARIANTARG& browser) const {
  return browser.vt == VT_DISPATCH && page_ && IdentityOf(browser.pdispVal) == page_;
}

HRESULT NoticeEvents::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG NoticeEvents::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

HRESULT NoticeEvents::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

// The arguments arrive last first: rgvarg[0] is an event's last parameter.
HRESULT NoticeEvents::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  if (!params) return E_INVALIDARG;
  VARIANTARG* argument = params->rgvarg;
  const UINT count = params->cArgs;
  switch (member) {
    case DISPID_BEFORENAVIGATE2:  // (browser, address, flags, frame name, post data, headers, cancel)
      // Every navigation passes here, the page's links, redirects and frames included.
      if (count == 7 && !load_.Navigating(TextOf(argument[5]), IsPage(argument[6]))) Cancel(argument[0]);
      break;
    case DISPID_NEWWINDOW2:  // (new browser, cancel): no address to hand on
      if (count == 2) Cancel(argument[0]);
      break;
    case DISPID_NEWWINDOW3: {  // (new browser, cancel, flags, opener's address, address)
      if (count != 5) break;
      Cancel(argument[3]);
      const std::string address = TextOf(argument[0]);
      if (IsNoticeAddressAllowed(address) && openInBrowser_) openInBrowser_(address);
      break;
    }
    case DISPID_NAVIGATEERROR:  // (browser, address, frame name, status, cancel)
      if (count == 5 && IsPage(argument[4])) load_.Failed();
      break;
    case DISPID_DOCUMENTCOMPLETE:  // (browser, address)
      if (count == 2 && IsPage(argument[1])) load_.Loaded(TextOf(argument[0]));
      break;
    default: break;
  }
  return S_OK;
}

// --- The control's container --------------------------------------------------------------------

// The client site, in-place site and frame of the control: a plain child window with no menus,
// tool bars or status line to lend.
class NoticeSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
 public:
  explicit NoticeSite(HWND host) : host_(host) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite)
      *object = static_cast<IOleClientSite*>(this);
    else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite)
      *object = static_cast<IOleInPlaceSite*>(this);
    else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame)
      *object = static_cast<IOleInPlaceFrame*>(this);
    else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // IOleClientSite
  HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

  // IOleWindow, of the site and of the frame alike
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = host_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleInPlaceSite
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                             RECT* clip, OLEINPLACEFRAMEINFO* info) override {
    if (!frame || !document || !position || !clip || !info) return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    *document = nullptr;
    GetClientRect(host_, position);
    *clip = *position;
    info->fMDIApp = FALSE;
    info->hwndFrame = host_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // IOleInPlaceUIWindow and IOleInPlaceFrame
  HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
  HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

 private:
  ~NoticeSite() = default;

  std::atomic<ULONG> references_{1};
  HWND host_;
};

// --- The page -----------------------------------------------------------------------------------

NoticeBrowser::NoticeBrowser(HWND parent, int id, const LayoutRect& place, BrowserOpener openInBrowser,
                             const CLSID* control) {
  // A thread of another apartment kind cannot hold the control: the page is then absent.
  oleReady_ = SUCCEEDED(OleInitialize(nullptr));
  if (!oleReady_ || !RegisterHostClass()) return;
  // Hidden until a page has loaded: the placeholder under it shows meanwhile.
  host_ = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_CLIPCHILDREN, place.left, place.top, place.Width(),
                          place.Height(), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                          GetModuleHandleW(nullptr), nullptr);
  if (host_ && Embed(control ? *control : CLSID_WebBrowser, place, std::move(openInBrowser)))
    Configure();
  else
    Discard();
}

NoticeBrowser::~NoticeBrowser() {
  Discard();
  if (oleReady_) OleUninitialize();
}

bool NoticeBrowser::Embed(const CLSID& control, const LayoutRect& place, BrowserOpener openInBrowser) {
  if (FAILED(CoCreateInstance(control, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                              reinterpret_cast<void**>(&object_))))
    return false;
  site_ = new NoticeSite(host_);
  if (FAILED(object_->SetClientSite(site_))) return false;
  OleSetContainedObject(object_, TRUE);
  RECT area{0, 0, place.Width(), place.Height()};
  if (FAILED(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, host_, &area))) return false;
  if (FAILED(object_->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_)))) return false;

  // Without its events the page would go wherever it pleased: no events, no page.
  events_ = new NoticeEvents(std::move(openInBrowser));
  events_->SetPage(browser_);
  IConnectionPointContainer* sources = nullptr;
  if (FAILED(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&sources)))) return false;
  const HRESULT found = sources->FindConnectionPoint(DIID_DWebBrowserEvents2, &eventSource_);
  sources->Release();
  return SUCCEEDED(found) && SUCCEEDED(eventSource_->Advise(static_cast<IDispatch*>(events_), &eventCookie_));
}

void NoticeBrowser::Configure() {
  browser_->put_Visible(VARIANT_TRUE);
  // Script errors and the like ask nobody: the notice never opens a box over the window.
  browser_->put_Silent(VARIANT_TRUE);
  browser_->put_StatusBar(VARIANT_FALSE);
  browser_->put_MenuBar(VARIANT_FALSE);
  browser_->put_AddressBar(VARIANT_FALSE);
  browser_->put_ToolBar(FALSE);
  browser_->put_RegisterAsDropTarget(VARIANT_FALSE);
}

// Releases the control and its container, whatever part of them exists.
void NoticeBrowser::Discard() {
  if (eventSource_) {
    if (eventCookie_) eventSource_->Unadvise(eventCookie_);
    eventSource_->Release();
    eventSource_ = nullptr;
  }
  if (browser_) {
    browser_->Stop();
    browser_->Release();
    browser_ = nullptr;
  }
  if (object_) {
    object_->Close(OLECLOSE_NOSAVE);
    object_->SetClientSite(nullptr);
    object_->Release();
    object_ = nullptr;
  }
  if (events_) {
    events_->Release();
    events_ = nullptr;
  }
  if (site_) {
    site_->Release();
    site_ = nullptr;
  }
  if (host_) {
    DestroyWindow(host_);
    host_ = nullptr;
  }
}

void NoticeBrowser::Navigate(const std::string& address) {
  if (!browser_ || !IsNoticeAddressAllowed(address)) return;
  BSTR target = SysAllocString(platform::Widen(address).c_str());
  if (!target) return;
  VARIANT none;
  VariantInit(&none);
  browser_->Navigate(target, &none, &none, &none, &none);
  SysFreeString(target);
}

void NoticeBrowser::Reveal() {
  if (browser_) ShowWindow(host_, SW_SHOWNA);
}

}  // namespace win32window
