#pragma once
// The main window's rules that hold whatever toolkit draws it: the start button starts the game
// at most once per run, and the window ends only after every box open over it has ended.
//
// A modal box (a question, a message, the About box) runs an event loop of its own inside the
// window's. A toolkit can only leave the innermost loop: ending the window while a box is open
// would leave the window's loop running for good, with nothing on the screen. So an end of the
// window ends the open boxes first, innermost first, each with its safe answer, and ends the
// window once control is back in the window's own loop.

#include <atomic>
#include <functional>
#include <vector>

// The boxes that the window's thread shows over the main window, innermost last. Window thread
// only.
class OpenBoxes {
 public:
  // Dismisses one box as its Cancel (or only) button would.
  using End = std::function<void()>;

  // While it lives, the box counts as open; its owner keeps it for the length of the box's loop.
  class Entry {
   public:
    Entry(OpenBoxes& boxes, int ticket) : boxes_(&boxes), ticket_(ticket) {}
    Entry(Entry&& other) noexcept : boxes_(other.boxes_), ticket_(other.ticket_) { other.boxes_ = nullptr; }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;
    Entry& operator=(Entry&&) = delete;
    ~Entry() {
      if (boxes_) boxes_->Closed(ticket_);
    }

   private:
    OpenBoxes* boxes_;
    int ticket_;
  };

  // Call just before the box's loop runs.
  [[nodiscard]] Entry Opened(End end);
  bool Empty() const { return boxes_.empty(); }
  // Ends the innermost box unless it was asked to end already (its loop is still returning);
  // false when no box is open.
  bool EndInnermost();

 private:
  struct Box {
    int ticket;
    End end;
    bool asked;
  };
  void Closed(int ticket);

  std::vector<Box> boxes_;
  int nextTicket_ = 0;
};

// The boxes over the launcher's window: the window's thread is the process's main thread.
OpenBoxes& MainThreadBoxes();

class WindowFlow {
 public:
  explicit WindowFlow(OpenBoxes& boxes) : boxes_(boxes) {}

  // --- Starting the game (start button: window thread; the auto-run start: any thread) -----
  // Whether a press of the start button goes on to start the game: not while a start is under
  // way, not once the game has started in this run, not once the window is ending.
  bool BeginStart();
  // The start that BeginStart allowed has ended; `started` when the game runs now.
  void EndStart(bool started);
  // The game was started without the button (the update's automatic start).
  void ClientStarted() { clientStarted_ = true; }
  bool HasStartedClient() const { return clientStarted_.load(); }

  // --- Ending the window (window thread) ---------------------------------------------------
  enum class Step {
    Wait,       // nothing to do now, or a box is being ended: call Advance again later
    EndWindow,  // end the window's own loop now (given once)
  };
  // The window is to end: ends the innermost open box, or tells to end the window.
  Step RequestEnd();
  // Goes on with a requested end; call it whenever control is back in a loop (idle, timer).
  Step Advance();
  bool Ending() const { return ending_; }

 private:
  OpenBoxes& boxes_;
  std::atomic<bool> clientStarted_{false};
  bool starting_ = false;
  bool ending_ = false;
  bool ended_ = false;
};
