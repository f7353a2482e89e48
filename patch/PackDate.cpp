#include "patch/PackDate.h"

#include <array>
#include <cstdio>
#include <optional>

namespace {

using DateFields = std::array<int, 6>;  // year, month, day, hour, minute, second

std::optional<DateFields> ReadDate(const std::string& text) {
  if (text.empty() || text == "0") return std::nullopt;
  DateFields fields{};
  if (std::sscanf(text.c_str(), "[%d-%d-%d][%d:%d:%d]", &fields[0], &fields[1], &fields[2], &fields[3], &fields[4],
                  &fields[5]) != 6)
    return std::nullopt;
  return fields;
}

}  // namespace

bool IsPackDateOutdated(const std::string& localDate, const std::string& serverDate) {
  const auto local = ReadDate(localDate);
  const auto server = ReadDate(serverDate);
  if (!local || !server) return true;
  // Fields compared in order, year first, so that the dates compare as points in time.
  return *server > *local;
}
