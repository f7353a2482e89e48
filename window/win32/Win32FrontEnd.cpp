// The Windows launcher's window as the entry uses it (app/WindowModule.h): Win32 and GDI need no
// library loaded on demand, so the window is linked into the executable and handed out by
// LinkedWindowModule() instead of a module's entry.

#include <windows.h>

#include <atomic>
#include <memory>

#include "app/Profiles.h"
#include "app/WindowModule.h"
#include "patch/PatchEngine.h"
#include "platform/win32/WideText.h"
#include "window/win32/Win32MessageBox.h"
#include "window/win32/Win32Window.h"

namespace {

// The system's boxes where no main window owns them (start-up before the window, the crash
// reporter). A box asked once `released` says nobody answers gets its safe answer.
class UnownedBoxes final : public platform::MessageBoxProvider {
 public:
  explicit UnownedBoxes(std::function<bool()> released) : released_(std::move(released)) {}

  int Show(const std::string& text, const std::string& caption, unsigned type) override {
    if (released_ && released_()) return platform::UnattendedAnswer(type);
    const std::wstring wideText = platform::Widen(text);
    const std::wstring wideCaption = platform::Widen(caption);
    if (GetCurrentThreadId() == thread_) return win32window::ShowBoxOnUiThread(nullptr, wideText, wideCaption, type);
    // The list of open boxes belongs to the entry's thread: another thread's box is the plain one.
    return win32window::ShowPlainBox(wideText, wideCaption, type);
  }

 private:
  const DWORD thread_ = GetCurrentThreadId();
  std::function<bool()> released_;
};

std::shared_ptr<platform::MessageBoxProvider> MakeUnownedBoxes(std::function<bool()> released) {
  return std::make_shared<UnownedBoxes>(std::move(released));
}

class Win32FrontEnd final : public WindowFrontEnd {
 public:
  explicit Win32FrontEnd(bool autoRun) : autoRun_(autoRun) {}

  // Runs the window until it closes, then waits for the update sequence: when this returns,
  // nothing of the window is left on the screen or in a worker.
  void RunMainWindow(PatchEngine& engine) override {
    // Questions asked around the window's own loop end unanswered once nobody is left to see them.
    auto windowGone = std::make_shared<std::atomic<bool>>(false);
    const std::shared_ptr<platform::MessageBoxProvider> previousBoxes = platform::CurrentMessageBoxProvider();
    platform::SetMessageBoxProvider(
        MakeUnownedBoxes([&engine, windowGone] { return engine.IsCancelled() || windowGone->load(); }));
    {
      std::unique_ptr<Win32Window> window =
          CreateLauncherWindow(engine, ProfileFor(engine.GetLocale(), engine.GetPublisher()).layout, autoRun_);
      if (window) {
        outcome_ = window->RunModal();
      } else {
        platform::ShowMessageBox("The launcher's window could not be created.", platform::kBoxOk | platform::kBoxIconStop);
      }
      *windowGone = true;
      // The sequence and the probe may still be returning from their last step into the window.
      engine.WaitSequenceThread();
      engine.WaitProbeThread();
    }
    platform::SetMessageBoxProvider(previousBoxes);
  }
  ConsoleOutcome Outcome() const override { return outcome_; }

 private:
  bool autoRun_;
  ConsoleOutcome outcome_ = ConsoleOutcome::NotRun;
};

// Win32 has no toolkit to start: a window can always be asked for.
bool StartToolkit(int&, char**) { return true; }
void StopToolkit() {}
std::unique_ptr<WindowFrontEnd> MakeFrontEnd(bool autoRun) { return std::make_unique<Win32FrontEnd>(autoRun); }

}  // namespace

const WindowModule* LinkedWindowModule() {
  static const WindowModule module{kWindowModuleInterface, SOLANE_VERSION_TEXT, StartToolkit, StopToolkit,
                                   MakeUnownedBoxes, MakeFrontEnd};
  return &module;
}
