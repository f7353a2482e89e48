#pragma once
// Ctrl-C for a program that wants to answer it itself: while a catcher lives, an interrupt only
// increments a counter, which the program polls and acts on in its own time.

namespace platform {

class InterruptCatcher {
 public:
  // Takes over the interrupt signal; the previous handling returns when the catcher is destroyed.
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  bool Installed() const { return installed_; }

 private:
  bool installed_ = false;
  void* previous_ = nullptr;  // the handling in force before, restored at destruction
};

// Interrupts counted since the process started, by every catcher that was installed meanwhile.
unsigned InterruptCount();

}  // namespace platform
