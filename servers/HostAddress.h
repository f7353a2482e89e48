#pragma once
// Turning the patch host's name into the address text the download session is given.

#include <string>

// The host's numeric address; the host text itself when it cannot be resolved (also for a text
// that carries a scheme or a port, which the session reads as it stands).
std::string ResolveHostAddress(const std::string& host, const std::string& service);

// The host text of an HTTP session, which carries its port in the text: `address` (what `host`
// resolved to) with ":port" added when `host` names neither a scheme nor a port of its own and
// `port` is a port other than HTTP's own 80. A numeric IPv6 address gets its brackets.
std::string HttpHostText(const std::string& host, const std::string& address, const std::string& port);
