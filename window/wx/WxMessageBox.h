#pragma once
// Message boxes shown by wxWidgets. A box always appears on the main thread; a worker thread that
// asks queues the box there and waits, and the wait also ends when `released` turns true (the
// engine is cancelled or the application is closing), so a closing window never deadlocks a worker.

#include <functional>
#include <memory>

#include "platform/MessageBox.h"

// `released` is polled while a worker waits; it may be empty.
std::shared_ptr<platform::MessageBoxProvider> MakeWxMessageBox(std::function<bool()> released);
