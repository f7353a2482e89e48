#include "platform/TopLevelWindows.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

namespace {

// The few Xlib declarations used here. The library is opened at run time, so the launcher
// neither links against it nor needs its headers, and runs where it is not installed.
struct XDisplay;
using XWindow = unsigned long;
using XAtom = unsigned long;
struct XClassHintRecord {
  char* resName;
  char* resClass;
};
using XErrorHandler = int (*)(XDisplay*, void*);

struct Xlib {
  XDisplay* (*openDisplay)(const char*) = nullptr;
  int (*closeDisplay)(XDisplay*) = nullptr;
  XWindow (*defaultRootWindow)(XDisplay*) = nullptr;
  int (*queryTree)(XDisplay*, XWindow, XWindow*, XWindow*, XWindow**, unsigned*) = nullptr;
  int (*getClassHint)(XDisplay*, XWindow, XClassHintRecord*) = nullptr;
  int (*fetchName)(XDisplay*, XWindow, char**) = nullptr;
  XAtom (*internAtom)(XDisplay*, const char*, int) = nullptr;
  int (*getWindowProperty)(XDisplay*, XWindow, XAtom, long, long, int, XAtom, XAtom*, int*, unsigned long*,
                           unsigned long*, unsigned char**) = nullptr;
  int (*free)(void*) = nullptr;
  XErrorHandler (*setErrorHandler)(XErrorHandler) = nullptr;
  int (*sync)(XDisplay*, int) = nullptr;

  bool Complete() const {
    return openDisplay && closeDisplay && defaultRootWindow && queryTree && getClassHint && fetchName && internAtom &&
           getWindowProperty && free && setErrorHandler && sync;
  }
};

template <typename Function>
void Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
}

// Loaded once and kept for the life of the process: unloading Xlib is not safe.
const Xlib* LoadXlib() {
  static Xlib xlib;
  static bool loaded = false;
  static std::once_flag once;
  std::call_once(once, [] {
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    Bind(library, "XOpenDisplay", xlib.openDisplay);
    Bind(library, "XCloseDisplay", xlib.closeDisplay);
    Bind(library, "XDefaultRootWindow", xlib.defaultRootWindow);
    Bind(library, "XQueryTree", xlib.queryTree);
    Bind(library, "XGetClassHint", xlib.getClassHint);
    Bind(library, "XFetchName", xlib.fetchName);
    Bind(library, "XInternAtom", xlib.internAtom);
    Bind(library, "XGetWindowProperty", xlib.getWindowProperty);
    Bind(library, "XFree", xlib.free);
    Bind(library, "XSetErrorHandler", xlib.setErrorHandler);
    Bind(library, "XSync", xlib.sync);
    loaded = xlib.Complete();
  });
  return loaded ? &xlib : nullptr;
}

// A window may vanish between listing and asking; Xlib's default handler would end the process.
int IgnoreXError(XDisplay*, void*) { return 0; }

constexpr int kSuccess = 0;

class WindowSearch {
 public:
  WindowSearch(const Xlib& x, XDisplay* display, const std::string& className, const std::string& title)
      : x_(x), display_(display), className_(className), title_(title) {
    netWmName_ = x_.internAtom(display_, "_NET_WM_NAME", 1);
    utf8String_ = x_.internAtom(display_, "UTF8_STRING", 1);
  }

  // Window managers put each top-level window into a frame of their own, so the children of
  // the root's children are looked at as well.
  bool Run() {
    const XWindow root = x_.defaultRootWindow(display_);
    for (XWindow top : Children(root)) {
      if (Matches(top)) return true;
      for (XWindow framed : Children(top))
        if (Matches(framed)) return true;
    }
    return false;
  }

 private:
  std::vector<XWindow> Children(XWindow parent) {
    XWindow root = 0, grandParent = 0;
    XWindow* children = nullptr;
    unsigned count = 0;
    std::vector<XWindow> list;
    if (x_.queryTree(display_, parent, &root, &grandParent, &children, &count) == 0) return list;
    if (children) {
      list.assign(children, children + count);
      x_.free(children);
    }
    return list;
  }

  bool Matches(XWindow window) {
    XClassHintRecord hint{nullptr, nullptr};
    if (x_.getClassHint(display_, window, &hint) == 0) return false;
    const bool classMatches = hint.resClass && className_ == hint.resClass;
    if (hint.resName) x_.free(hint.resName);
    if (hint.resClass) x_.free(hint.resClass);
    return classMatches && Title(window) == title_;
  }

  // The desktop's UTF-8 title when the window has one, else the classic name.
  std::string Title(XWindow window) {
    if (netWmName_ && utf8String_) {
      XAtom actualType = 0;
      int actualFormat = 0;
      unsigned long items = 0, bytesAfter = 0;
      unsigned char* data = nullptr;
      if (x_.getWindowProperty(display_, window, netWmName_, 0, 1024, 0, utf8String_, &actualType, &actualFormat,
                               &items, &bytesAfter, &data) == kSuccess &&
          data) {
        std::string title = actualType == utf8String_ && actualFormat == 8
                                ? std::string(reinterpret_cast<char*>(data), items)
                                : std::string();
        x_.free(data);
        if (!title.empty()) return title;
      }
    }
    char* name = nullptr;
    if (x_.fetchName(display_, window, &name) == 0 || !name) return {};
    std::string title(name);
    x_.free(name);
    return title;
  }

  const Xlib& x_;
  XDisplay* display_;
  const std::string& className_;
  const std::string& title_;
  XAtom netWmName_ = 0;
  XAtom utf8String_ = 0;
};

}  // namespace

bool FindTopLevelWindow(const std::string& className, const std::string& title) {
  const char* displayName = std::getenv("DISPLAY");
  if (!displayName || !*displayName) return false;
  const Xlib* x = LoadXlib();
  if (!x) return false;
  XDisplay* display = x->openDisplay(displayName);
  if (!display) return false;
  // The error handler is process-wide; searches are made one at a time.
  static std::mutex searching;
  std::lock_guard<std::mutex> guard(searching);
  const XErrorHandler previous = x->setErrorHandler(IgnoreXError);
  const bool found = WindowSearch(*x, display, className, title).Run();
  x->sync(display, 0);  // errors of the search arrive before the handler is put back
  x->setErrorHandler(previous);
  x->closeDisplay(display);
  return found;
}

}  // namespace platform
