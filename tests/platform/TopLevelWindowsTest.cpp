// The client's window is found on an X display: a window is made on a private Xvfb display
// through Xlib loaded at run time, as the search itself loads it.

#include "platform/TopLevelWindows.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace platform {
namespace {

// A private display for one test; Display() is empty when Xvfb cannot be started.
class PrivateDisplay {
 public:
  PrivateDisplay() {
    if (access("/usr/bin/Xvfb", X_OK) != 0) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      int devNull = open("/dev/null", O_RDWR);
      dup2(devNull, 1);
      dup2(devNull, 2);
      close(fds[0]);
      // Xvfb picks a free display and writes its number to the descriptor once it is ready.
      const std::string fd = std::to_string(fds[1]);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0", "640x480x24",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~PrivateDisplay() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

struct XClassHintRecord {
  const char* resName;
  const char* resClass;
};

// Creates an unmapped top-level window with a class and a title and keeps the connection open.
class TestWindow {
 public:
  TestWindow(const std::string& display, const char* className, const char* title) {
    library_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!library_) return;
    auto open = reinterpret_cast<void* (*)(const char*)>(dlsym(library_, "XOpenDisplay"));
    auto root = reinterpret_cast<unsigned long (*)(void*)>(dlsym(library_, "XDefaultRootWindow"));
    auto create = reinterpret_cast<unsigned long (*)(void*, unsigned long, int, int, unsigned, unsigned, unsigned,
                                                     unsigned long, unsigned long)>(
        dlsym(library_, "XCreateSimpleWindow"));
    auto storeName = reinterpret_cast<int (*)(void*, unsigned long, const char*)>(dlsym(library_, "XStoreName"));
    auto setClass = reinterpret_cast<int (*)(void*, unsigned long, XClassHintRecord*)>(dlsym(library_, "XSetClassHint"));
    auto sync = reinterpret_cast<int (*)(void*, int)>(dlsym(library_, "XSync"));
    close_ = reinterpret_cast<int (*)(void*)>(dlsym(library_, "XCloseDisplay"));
    if (!open || !root || !create || !storeName || !setClass || !sync || !close_) return;
    display_ = open(display.c_str());
    if (!display_) return;
    const unsigned long window = create(display_, root(display_), 0, 0, 100, 100, 0, 0, 0);
    XClassHintRecord hint{"solaneclient", className};
    setClass(display_, window, &hint);
    storeName(display_, window, title);
    sync(display_, 0);
    ready_ = true;
  }
  ~TestWindow() {
    if (display_) close_(display_);
  }
  bool Ready() const { return ready_; }

 private:
  void* library_ = nullptr;
  void* display_ = nullptr;
  int (*close_)(void*) = nullptr;
  bool ready_ = false;
};

TEST(TopLevelWindows, FindsTheWindowByClassAndTitle) {
  const char* saved = std::getenv("DISPLAY");
  const std::string previous = saved ? saved : "";
  unsetenv("DISPLAY");
  EXPECT_FALSE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client"));  // no display: no window

  PrivateDisplay display;
  if (display.Display().empty()) GTEST_SKIP() << "Xvfb is not available";
  setenv("DISPLAY", display.Display().c_str(), 1);
  EXPECT_FALSE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client"));
  {
    TestWindow window(display.Display(), "SOLANE_CLIENT", "Solane Client");
    ASSERT_TRUE(window.Ready());
    EXPECT_TRUE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client"));
    EXPECT_FALSE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client 2"));
    EXPECT_FALSE(FindTopLevelWindow("solane_client", "Solane Client"));  // exact class
    EXPECT_FALSE(FindTopLevelWindow("OTHER", "Solane Client"));
  }
  EXPECT_FALSE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client"));  // gone with its connection
  if (previous.empty())
    unsetenv("DISPLAY");
  else
    setenv("DISPLAY", previous.c_str(), 1);
}

}  // namespace
}  // namespace platform
