// The client's window is found on an X display: a window is made on a private Xvfb display
// through Xlib loaded at run time, as the search itself loads it.

#include "platform/TopLevelWindows.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/Requirement.h"
#include "tests/support/ScopedEnvironment.h"

namespace platform {
namespace {

class TopLevelWindowsTest : public ::testing::Test {
 protected:
  // Starts Xvfb on a free display, which it reports on a pipe once it is ready.
  void SetUp() override {
    int fds[2];
    SOLANE_REQUIRE(access("/usr/bin/Xvfb", X_OK) == 0 && pipe(fds) == 0, "Xvfb is not available");
    xvfb_ = fork();
    if (xvfb_ == 0) {
      dup2(open("/dev/null", O_RDWR), 2);
      execl("/usr/bin/Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-nolisten", "tcp",
            static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) display_ += c;
    close(fds[0]);
    SOLANE_REQUIRE(!display_.empty(), "Xvfb did not start");
    display_ = ":" + display_;
  }
  void TearDown() override {
    if (connection_ != nullptr) Call<int>("XCloseDisplay", connection_);
    if (xvfb_ > 0 && kill(xvfb_, SIGTERM) == 0) waitpid(xvfb_, nullptr, 0);
  }

  // An unmapped top-level window; it lives as long as the connection.
  bool OpenWindow(const char* className, const char* title) {
    connection_ = Call<void*>("XOpenDisplay", display_.c_str());
    if (connection_ == nullptr) return false;
    const auto root = Call<unsigned long>("XDefaultRootWindow", connection_);
    const auto window = Call<unsigned long>("XCreateSimpleWindow", connection_, root, 0, 0, 100u, 100u, 0u, 0ul, 0ul);
    const char* hint[] = {"solaneclient", className};  // XClassHint: name, then class
    Call<int>("XSetClassHint", connection_, window, hint);
    Call<int>("XStoreName", connection_, window, title);
    return Call<int>("XSync", connection_, 0) != 0;
  }
  template <typename Result, typename... Args>
  Result Call(const char* function, Args... args) const {
    return reinterpret_cast<Result (*)(Args...)>(dlsym(library_, function))(args...);
  }

  void* library_ = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  pid_t xvfb_ = -1;
  std::string display_;
  void* connection_ = nullptr;
};

TEST_F(TopLevelWindowsTest, FindsTheWindowByClassAndTitle) {
  ScopedEnvironment noDisplay("DISPLAY", std::nullopt);
  EXPECT_FALSE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client"));  // no display: no window
  setenv("DISPLAY", display_.c_str(), 1);
  ASSERT_TRUE(library_ != nullptr && OpenWindow("SOLANE_CLIENT", "Solane Client"));
  EXPECT_TRUE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client"));
  EXPECT_FALSE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client 2"));
  EXPECT_FALSE(FindTopLevelWindow("solane_client", "Solane Client"));  // exact class
  Call<int>("XCloseDisplay", connection_);
  connection_ = nullptr;
  EXPECT_FALSE(FindTopLevelWindow("SOLANE_CLIENT", "Solane Client"));  // gone with its connection
}

}  // namespace
}  // namespace platform
