// The notice page's control on Windows: the decisions of its event sink, fed the events as the
// control raises them, and the placeholder that stays while no page has loaded or no control exists.

#include "window/win32/NoticeBrowser.h"

#include <exdispid.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/WideText.h"
#include "tests/support/TestEngine.h"
#include "window/win32/Win32Window.h"

namespace win32window {
namespace {

// A text argument as the control passes it: a BSTR, or a reference to a VARIANT that holds one.
class TextArgument {
 public:
  explicit TextArgument(const std::wstring& text) {
    value_.vt = VT_BSTR;
    value_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  ~TextArgument() { VariantClear(&value_); }
  VARIANTARG ByReference() {
    VARIANTARG argument{};
    argument.vt = VT_BYREF | VT_VARIANT;
    argument.pvarVal = &value_;
    return argument;
  }
  VARIANTARG Value() const { return value_; }

 private:
  VARIANT value_{};
};

VARIANTARG BrowserArgument(IDispatch* browser) {
  VARIANTARG argument{};
  argument.vt = VT_DISPATCH;
  argument.pdispVal = browser;
  return argument;
}

VARIANTARG EmptyArgument() { return VARIANTARG{}; }

class NoticeEventsTest : public ::testing::Test {
 protected:
  ~NoticeEventsTest() override {
    for (IDispatch* object : {static_cast<IDispatch*>(events_), page_, frame_}) object->Release();
  }

  // Raises `event` with `arguments` first to last; the control passes them last first.
  void Raise(DISPID event, std::vector<VARIANTARG> arguments) {
    std::reverse(arguments.begin(), arguments.end());
    DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    const HRESULT result =
        events_->Invoke(event, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    EXPECT_EQ(result, S_OK);
  }
  // The event's cancel flag as the sink leaves it, for an event whose flag sits at `position`.
  bool Cancelled(DISPID event, std::vector<VARIANTARG> arguments, size_t position) {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANTARG flag{};
    flag.vt = VT_BYREF | VT_BOOL;
    flag.pboolVal = &cancel;
    arguments.insert(arguments.begin() + static_cast<std::ptrdiff_t>(position), flag);
    Raise(event, std::move(arguments));
    return cancel == VARIANT_TRUE;
  }
  bool BeforeNavigate(IDispatch* browser, const std::wstring& address) {
    TextArgument url(address);
    return Cancelled(DISPID_BEFORENAVIGATE2,
                     {BrowserArgument(browser), url.ByReference(), EmptyArgument(), EmptyArgument(), EmptyArgument(),
                      EmptyArgument()},
                     6);
  }
  void DocumentComplete(IDispatch* browser, const std::wstring& address) {
    TextArgument url(address);
    Raise(DISPID_DOCUMENTCOMPLETE, {BrowserArgument(browser), url.ByReference()});
  }

  std::vector<std::string> opened_;
  NoticeEvents* events_ = new NoticeEvents([this](const std::string& address) { opened_.push_back(address); });
  // Two other objects stand for the control and one of its frames: only their identity counts.
  IDispatch* page_ = new NoticeEvents(nullptr);
  IDispatch* frame_ = new NoticeEvents(nullptr);
};

TEST_F(NoticeEventsTest, OnlyWebAddressesAreShownAndNewWindowsGoToThePlayersBrowser) {
  events_->SetPage(page_);
  const struct {
    std::wstring address;
    bool allowed;
  } cases[] = {
      {L"http://127.0.0.1/notice.html", true}, {L"HTTPS://127.0.0.1/", true},   {L"file:///C:/windows/win.ini", false},
      {L"javascript:alert(1)", false},         {L"res://ieframe.dll/", false},   {L"", false},
  };
  for (const auto& c : cases) {
    const std::string address = platform::Narrow(c.address);
    EXPECT_EQ(BeforeNavigate(page_, c.address), !c.allowed) << address;
    EXPECT_EQ(BeforeNavigate(frame_, c.address), !c.allowed) << "a frame's " << address;

    opened_.clear();
    TextArgument url(c.address);
    EXPECT_TRUE(Cancelled(DISPID_NEWWINDOW3, {EmptyArgument(), EmptyArgument(), EmptyArgument(), url.Value()}, 1))
        << "a new window of " << address << " opens inside the launcher";
    EXPECT_EQ(opened_, c.allowed ? std::vector<std::string>{address} : std::vector<std::string>{}) << address;
  }
  EXPECT_TRUE(Cancelled(DISPID_NEWWINDOW2, {EmptyArgument()}, 1)) << "an older control's new window";
}

TEST_F(NoticeEventsTest, OnlyThePagesOwnLoadWithoutAnErrorReplacesThePlaceholder) {
  events_->SetPage(page_);
  ASSERT_FALSE(BeforeNavigate(page_, L"http://127.0.0.1/"));
  TextArgument url(L"http://127.0.0.1/");
  Cancelled(DISPID_NAVIGATEERROR, {BrowserArgument(page_), url.ByReference(), EmptyArgument(), EmptyArgument()}, 4);
  DocumentComplete(page_, L"http://127.0.0.1/");
  EXPECT_FALSE(events_->HasLoaded()) << "the page's error page";

  ASSERT_FALSE(BeforeNavigate(page_, L"http://127.0.0.1/"));
  DocumentComplete(frame_, L"http://127.0.0.1/frame.html");
  EXPECT_FALSE(events_->HasLoaded()) << "a frame's load while the page still loads";
  DocumentComplete(page_, L"http://127.0.0.1/");
  EXPECT_TRUE(events_->HasLoaded());
}

// Creates the Korea window on this thread, lets the engine's thread navigate the notice, runs
// what it posted and returns the notice's child window (null when there is none).
HWND NoticeAfterNavigating(PatchEngine& engine) {
  std::unique_ptr<Win32Window> window = CreateLauncherWindow(engine, WindowLayout::Korea);
  if (!window) {
    ADD_FAILURE() << "no window";
    return nullptr;
  }
  HWND hwnd = FindWindowW(L"SolaneLauncherWindow", nullptr);
  // Nothing listens on port 1: the load fails.
  std::thread([&] { window->NavigateNotice("http://127.0.0.1:1/"); }).join();
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  HWND notice = GetDlgItem(hwnd, kIdNoticeBrowser);
  EXPECT_FALSE(notice && (GetWindowLongPtrW(notice, GWL_STYLE) & WS_VISIBLE)) << "a failed page covers the placeholder";
  return notice;
}

TEST(NoticeBrowserTest, APageThatDidNotLoadOrAMissingControlLeavesThePlaceholder) {
  TestInstallation installation;
  EXPECT_NE(NoticeAfterNavigating(installation.Engine()), nullptr) << "the system's control is missing";

  // A thread of the multithreaded apartment can hold no control: the window comes up without one.
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  EXPECT_EQ(NoticeAfterNavigating(installation.Engine()), nullptr);
  CoUninitialize();

  // A control class that no system registers.
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 633, 470, nullptr, nullptr, nullptr, nullptr);
  const CLSID noSuchControl = {0x5d1a7f3e, 0x2b44, 0x4c1e, {0x9a, 0x61, 0x3f, 0x0e, 0x7c, 0x25, 0xd8, 0x4b}};
  NoticeBrowser page(parent, kIdNoticeBrowser, {-2, 67, 635, 381}, nullptr, &noSuchControl);
  EXPECT_FALSE(page.Available());
  EXPECT_EQ(GetDlgItem(parent, kIdNoticeBrowser), nullptr);
  page.Navigate("http://127.0.0.1:1/");
  page.Reveal();
  EXPECT_FALSE(page.HasLoaded());
}

}  // namespace
}  // namespace win32window
