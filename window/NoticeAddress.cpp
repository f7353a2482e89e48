#include "window/NoticeAddress.h"

#include <algorithm>

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [&](char p, char t) { return lower(p) == lower(t); });
}

}  // namespace

bool IsNoticeAddressAllowed(std::string_view address) {
  // Leading blanks would let a browser read the scheme that this test did not.
  return StartsWithIgnoringCase(address, "http://") || StartsWithIgnoringCase(address, "https://");
}

bool NoticeLoad::Navigating(std::string_view address, bool ofPage) {
  if (!IsNoticeAddressAllowed(address)) return false;
  if (ofPage) failed_ = false;
  return true;
}

void NoticeLoad::Loaded(std::string_view address) {
  if (!failed_ && IsNoticeAddressAllowed(address)) loaded_ = true;
}
