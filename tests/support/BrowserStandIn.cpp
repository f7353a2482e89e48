#include <fstream>
#include <iterator>
#include <string>

#include "platform/Clock.h"
#include "tests/support/BrowserStandIn.h"

std::string BrowserStandIn::Opened() const {
  for (int waited = 0; waited < 5000; waited += 20) {
    std::ifstream in(record_, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A record is complete with its line end.
    if (!text.empty() && text.back() == '\n') {
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
      return text;
    }
    platform::SleepMs(20);
  }
  return "";
}
