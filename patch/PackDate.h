#pragma once
// The date test of pack integrity checks: dates are texts "[YYYY-MM-DD][hh:mm:ss]".

#include <string>

// True when the pack counts as outdated: either date is empty, "0" or unreadable, or the server
// date is a later point in time than the local one.
bool IsPackDateOutdated(const std::string& localDate, const std::string& serverDate);
