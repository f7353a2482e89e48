#include "window/wx/WxFrontEnd.h"

#include <wx/app.h>
#include <wx/init.h>

#include <atomic>
#include <memory>

#include "app/Profiles.h"
#include "patch/PatchEngine.h"
#include "platform/MessageBox.h"
#include "window/wx/LauncherDlg.h"
#include "window/wx/WxMessageBox.h"

void WxFrontEnd::RunMainWindow(PatchEngine& engine) {
  // A worker's question ends unanswered once the engine is cancelled or the window is gone, so
  // the wait for the sequence below can never wait for a box nobody sees.
  auto windowGone = std::make_shared<std::atomic<bool>>(false);
  const std::shared_ptr<platform::MessageBoxProvider> previousBoxes = platform::CurrentMessageBoxProvider();
  platform::SetMessageBoxProvider(
      MakeWxMessageBox([&engine, windowGone] { return engine.IsCancelled() || windowGone->load(); }));
  {
    CLauncherDlg window(engine, ProfileFor(engine.GetLocale(), engine.GetPublisher()).layout, autoRun_);
    outcome_ = window.RunModal();
    *windowGone = true;
    // The sequence and the probe may still be returning from their last step into the window
    // object.
    engine.WaitSequenceThread();
    engine.WaitProbeThread();
  }
  platform::SetMessageBoxProvider(previousBoxes);
  // Work queued for the window is dropped now rather than at exit.
  if (wxTheApp) wxTheApp->ProcessPendingEvents();
}

namespace {

// The launcher reads its own command line: wx's parsing would refuse the "/LOCALE:" switches.
class ToolkitApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

// Starts the toolkit without handing it the program: start-up keeps its own order.
bool StartToolkit(int& argc, char** argv) {
  wxApp::SetInstance(new ToolkitApp());
  if (!wxEntryStart(argc, argv)) return false;
  return wxTheApp->CallOnInit();
}

void StopToolkit() { wxEntryCleanup(); }

std::unique_ptr<WindowFrontEnd> MakeFrontEnd(bool autoRun) { return std::make_unique<WxFrontEnd>(autoRun); }

}  // namespace

const WindowModule* SolaneWindowModule() {
  static const WindowModule module{kWindowModuleInterface, SOLANE_VERSION_TEXT, StartToolkit, StopToolkit,
                                   MakeWxMessageBox, MakeFrontEnd};
  return &module;
}
