#include "download/TransferStats.h"

#include <gtest/gtest.h>

#include <tuple>

#include "window/Catalogue.h"

namespace {

// The status line after one sample: `position` of `total` bytes arrived `elapsedMs` after the start.
std::string StatusAfterOneSample(uint64_t total, uint32_t elapsedMs, uint64_t position, uint32_t startTick = 5000) {
  uint32_t now = startTick;
  CTransferStats stats([&now] { return now; }, kLanguageEnglish);
  stats.SetTotal(total);
  now += elapsedMs;
  stats.SetPosition(position);
  return stats.GetStatusText();
}

TEST(TransferStatsTest, StatusLineReadsAsThePlayerSeesIt) {
  const std::tuple<uint64_t, uint64_t, const char*> vectors[] = {  // total, position after 2 s, line
      // Sizes: bytes, kibibytes with one decimal, mebibytes with two; times with and without seconds.
      {2048, 1023, "524 Bytes/Sec 2 sec (1023 Bytes of 2.0 KB copied)"},
      {1048576, 1000, "512 Bytes/Sec 34 min 55 sec (1000 Bytes of 1.00 MB copied)"},
      {61000, 1000, "512 Bytes/Sec 2 min (1000 Bytes of 59.6 KB copied)"},
      // Speeds: below 1 byte/ms in bytes per second, then two decimals, then none.
      {10000, 5000, "2.50 KB/Sec 2 sec (4.9 KB of 9.8 KB copied)"},
      {40000, 20000, "10 KB/Sec 2 sec (19.5 KB of 39.1 KB copied)"},
      // Files beyond 4 GiB keep their sizes.
      {9663676416, 4831838208, "2415919 KB/Sec 2 sec (4608.00 MB of 9216.00 MB copied)"},
      // Without a total there is no time left; more than the total leaves nothing to wait for.
      {0, 1000, "512 Bytes/Sec "},
      {1000, 2000, "1.00 KB/Sec 0 sec (2.0 KB of 1000 Bytes copied)"},
  };
  for (const auto& [total, position, expected] : vectors)
    EXPECT_EQ(StatusAfterOneSample(total, 2000, position), expected) << position << " of " << total;
  // Nothing before the first second; a tick that wraps during the transfer disturbs nothing.
  EXPECT_EQ(StatusAfterOneSample(2048, 1000, 1023), "");
  EXPECT_EQ(StatusAfterOneSample(61000, 2000, 1000, 0xFFFFFC00u), "512 Bytes/Sec 2 min (1000 Bytes of 59.6 KB copied)");
  // One byte in 40 days with exabytes to go stays defined arithmetic.
  EXPECT_NE(StatusAfterOneSample(uint64_t{1} << 62, 3456000000u, 1).find(" min"), std::string::npos);

  // The text holds between samples; a count that starts over gives the new bytes, not an
  // overflowed difference.
  uint32_t now = 5000;
  CTransferStats stats([&now] { return now; }, kLanguageEnglish);
  stats.SetTotal(100000);
  now += 2000;
  stats.SetPosition(50000);
  const std::string first = stats.GetStatusText();
  now += 500;
  stats.SetPosition(60000);
  EXPECT_EQ(stats.GetStatusText(), first);
  now += 501;
  stats.SetPosition(500);
  EXPECT_EQ(stats.GetStatusText().substr(0, 13), "511 Bytes/Sec");
}

TEST(TransferStatsTest, TenEmptySamplesMeanAStall) {
  uint32_t now = 5000;
  CTransferStats stats([&now] { return now; }, kLanguageEnglish);
  stats.SetTotal(1000);
  // Calls within one second of the last sample are not samples.
  for (int call = 0; call < 10; ++call, now += 100) stats.SetPosition(0);
  EXPECT_EQ(stats.GetStatusText(), "");
  const auto sampleWith = [&](uint64_t position) {
    now += 1001;
    stats.SetPosition(position);
    return stats.IsAlive();
  };
  for (int sample = 1; sample <= 11; ++sample) EXPECT_EQ(sampleWith(0), sample < 10) << sample;
  // One byte brings the countdown back to ten samples.
  EXPECT_TRUE(sampleWith(1));
  for (int sample = 1; sample <= 10; ++sample) EXPECT_EQ(sampleWith(1), sample < 10) << sample;
}

}  // namespace
