#include "window/wx/WxMessageBox.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/generic/msgdlgg.h>
#include <wx/thread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "window/WindowFlow.h"

namespace {

long StyleFor(unsigned type) {
  long style = wxCENTRE;
  switch (platform::ButtonsOf(type)) {
    case platform::kBoxOkCancel: style |= wxOK | wxCANCEL; break;
    case platform::kBoxYesNo: style |= wxYES_NO; break;
    default: style |= wxOK; break;
  }
  switch (type & 0xf0) {
    case platform::kBoxIconStop: style |= wxICON_ERROR; break;
    case platform::kBoxIconQuestion: style |= wxICON_QUESTION; break;
    case platform::kBoxIconInformation: style |= wxICON_INFORMATION; break;
    default: style |= wxICON_EXCLAMATION; break;
  }
  return style;
}

// The button that gives `result`.
int ButtonFor(int result) {
  switch (result) {
    case platform::kResultCancel: return wxID_CANCEL;
    case platform::kResultYes: return wxID_YES;
    case platform::kResultNo: return wxID_NO;
    default: return wxID_OK;
  }
}

int ResultOf(int answer) {
  switch (answer) {
    case wxID_CANCEL:
    case wxCANCEL: return platform::kResultCancel;
    case wxID_YES:
    case wxYES: return platform::kResultYes;
    case wxID_NO:
    case wxNO: return platform::kResultNo;
    default: return platform::kResultOk;
  }
}

// The generic box runs wx's own modal loop, so a box whose asker has given up can be ended.
int ShowOnMainThread(const std::string& text, const std::string& caption, unsigned type,
                     wxDialog** shown = nullptr) {
  wxGenericMessageDialog dialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr, wxString::FromUTF8(text),
                                wxString::FromUTF8(caption), StyleFor(type));
  if (shown) *shown = &dialog;
  // A window that ends while the box is open dismisses it with its safe answer.
  const OpenBoxes::Entry open = MainThreadBoxes().Opened([&dialog, type] {
    if (dialog.IsModal()) dialog.EndModal(ButtonFor(platform::UnattendedAnswer(type)));
  });
  const int answer = dialog.ShowModal();
  if (shown) *shown = nullptr;
  return ResultOf(answer);
}

class WxMessageBox : public platform::MessageBoxProvider {
 public:
  explicit WxMessageBox(std::function<bool()> released) : released_(std::move(released)) {}

  int Show(const std::string& text, const std::string& caption, unsigned type) override {
    if (wxThread::IsMain() || !wxTheApp) return ShowOnMainThread(text, caption, type);

    // Shared by the worker and the main thread; `shown` is touched on the main thread only.
    struct Ask {
      std::mutex lock;
      std::condition_variable answered;
      bool done = false;
      bool abandoned = false;
      int result = 0;
      wxDialog* shown = nullptr;
    };
    auto ask = std::make_shared<Ask>();
    wxTheApp->CallAfter([ask, text, caption, type] {
      {
        std::lock_guard<std::mutex> guard(ask->lock);
        if (ask->abandoned) return;
      }
      const int result = ShowOnMainThread(text, caption, type, &ask->shown);
      std::lock_guard<std::mutex> guard(ask->lock);
      ask->result = result;
      ask->done = true;
      ask->answered.notify_all();
    });
    std::unique_lock<std::mutex> guard(ask->lock);
    while (!ask->done) {
      if (released_ && released_()) {
        // Nobody is left to answer: the box goes, and one not yet shown never appears.
        ask->abandoned = true;
        wxTheApp->CallAfter([ask] {
          if (ask->shown && ask->shown->IsModal()) ask->shown->EndModal(wxID_CANCEL);
        });
        return platform::UnattendedAnswer(type);
      }
      ask->answered.wait_for(guard, std::chrono::milliseconds(50));
    }
    return ask->result;
  }

 private:
  std::function<bool()> released_;
};

}  // namespace

std::shared_ptr<platform::MessageBoxProvider> MakeWxMessageBox(std::function<bool()> released) {
  return std::make_shared<WxMessageBox>(std::move(released));
}
