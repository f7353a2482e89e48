#pragma once
// Which addresses the notice page may show, whatever toolkit draws it.

#include <string_view>

// Whether the notice page may show `address`: http and https only, so a page can never reach
// the player's files (file:) or run code of the address's own making (data:, javascript:).
bool IsNoticeAddressAllowed(std::string_view address);
