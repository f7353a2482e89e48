#pragma once
// A multipart form sent with one HTTP POST through the system's internet library: how the error
// reporter sends a crash report on Windows (the Linux reporter uses libcurl for the same form).
// Only platform/win32 implements it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The scheme and host of an absolute http or https address as the system reads it ("https",
// "crash.example"); none for anything else.
struct AddressOrigin {
  std::string scheme;
  std::string host;
};
std::optional<AddressOrigin> OriginOf(const std::string& url);

// One field of the form: a text, or the whole file at `filePath` (sent under its file name).
struct FormField {
  std::string name;
  std::string text;
  std::string filePath;
};

struct FormPostOutcome {
  bool sent = false;         // the server answered 2xx
  int status = 0;            // the server's answer, 0 when none came
  bool unusable = false;     // the form or the address cannot be sent at all (trying again is no use)
  std::string reason;        // why not, when not sent
};

// Sends `fields` to `url`; `progress` hears (bytes sent, bytes in all) as the body goes out.
// A connection waits at most 15 seconds, and one that carries nothing for 30 seconds is given up.
FormPostOutcome PostForm(const std::string& url, const std::vector<FormField>& fields, const std::string& agent,
                         const std::function<void(int64_t sent, int64_t total)>& progress);

}  // namespace platform
