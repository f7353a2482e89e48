#pragma once
// The message boxes of the Windows window: the system's box over the main window, shown on the
// window's thread whichever thread asks. A box counts among the window's open boxes, so a window
// that ends dismisses it with its safe answer.

#include <windows.h>

#include <functional>
#include <memory>

#include "platform/MessageBox.h"
#include "window/win32/UiThread.h"

namespace win32window {

// Shows a box over `owner` now. Window thread.
int ShowBoxOnUiThread(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type,
                      int iconResource = 0);

// The system's box with no owner, on the calling thread (for threads without the window).
int ShowPlainBox(const std::wstring& text, const std::wstring& caption, UINT type);

// Boxes over the window whose queue is `queue`; a worker's question ends unanswered (its safe
// answer) once `released` says that nobody is left to answer it. A window whose thread takes no
// messages (a crash stopped it) leaves a worker's box to the worker's own thread.
std::shared_ptr<platform::MessageBoxProvider> MakeWin32MessageBox(HWND owner, UiQueue& queue,
                                                                  std::function<bool()> released);

}  // namespace win32window
