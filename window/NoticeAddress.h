#pragma once
// Which addresses the notice page may show, whatever toolkit draws it.

#include <string_view>

// Whether the notice page may show `address`: http and https only, so a page can never reach
// the player's files (file:) or run code of the address's own making (data:, javascript:).
bool IsNoticeAddressAllowed(std::string_view address);

// Whether the notice page has a page of its own to show over the placeholder: one of an allowed
// address that loaded without an error. Window thread.
class NoticeLoad {
 public:
  // A navigation to `address` is about to start (`ofPage`: the page itself, not a frame within
  // it); false refuses it. Every navigation passes here, links, redirects and frames included.
  bool Navigating(std::string_view address, bool ofPage);
  void Failed() { failed_ = true; }
  // A load of `address` has ended; a failed one ends on an empty page, which counts as no page.
  void Loaded(std::string_view address);
  bool HasLoaded() const { return loaded_; }

 private:
  bool loaded_ = false;
  bool failed_ = false;
};
