#include "download/TransferStats.h"

#include <gtest/gtest.h>

#include "window/Catalogue.h"

namespace {

// A transfer whose clock the test moves.
class FakeClock {
 public:
  explicit FakeClock(uint32_t start = 5000) : now_(start) {}
  CTransferStats::TickSource Source() {
    return [this] { return now_; };
  }
  void Advance(uint32_t ms) { now_ += ms; }

 private:
  uint32_t now_;
};

// The status line after one sample: `position` of `total` bytes arrived `elapsedMs` after the start.
std::string StatusAfterOneSample(uint64_t total, uint32_t elapsedMs, uint64_t position, uint32_t startTick = 5000) {
  FakeClock clock(startTick);
  CTransferStats stats(clock.Source(), kLanguageEnglish);
  stats.SetTotal(total);
  clock.Advance(elapsedMs);
  stats.SetPosition(position);
  return stats.GetStatusText();
}

TEST(TransferStatsTest, StatusLineReadsAsThePlayerSeesIt) {
  const struct {
    uint64_t total;
    uint32_t elapsedMs;
    uint64_t position;
    const char* expected;
  } vectors[] = {
      // Sizes: bytes, kibibytes with one decimal, mebibytes with two.
      {2048, 2000, 1023, "524 Bytes/Sec 2 sec (1023 Bytes of 2.0 KB copied)"},
      {10485760, 2000, 3145728, "1573 KB/Sec 4 sec (3.00 MB of 10.00 MB copied)"},
      {1048575, 2000, 1024, "524 Bytes/Sec 34 min 5 sec (1.0 KB of 1024.0 KB copied)"},
      {1048576, 2000, 1000, "512 Bytes/Sec 34 min 55 sec (1000 Bytes of 1.00 MB copied)"},
      // Speeds: below 1 byte/ms in bytes per second, then two decimals, then none.
      {63500, 2000, 1000, "512 Bytes/Sec 2 min 5 sec (1000 Bytes of 62.0 KB copied)"},
      {61000, 2000, 1000, "512 Bytes/Sec 2 min (1000 Bytes of 59.6 KB copied)"},
      {30500, 2000, 1000, "512 Bytes/Sec 59 sec (1000 Bytes of 29.8 KB copied)"},
      {10000, 2000, 5000, "2.50 KB/Sec 2 sec (4.9 KB of 9.8 KB copied)"},
      {4000, 2000, 2000, "1.00 KB/Sec 2 sec (2.0 KB of 3.9 KB copied)"},
      {40000, 2000, 20000, "10 KB/Sec 2 sec (19.5 KB of 39.1 KB copied)"},
      {493600, 2000, 246800, "123 KB/Sec 2 sec (241.0 KB of 482.0 KB copied)"},
      // Files beyond 4 GiB keep their sizes.
      {9663676416, 2000, 4831838208, "2415919 KB/Sec 2 sec (4608.00 MB of 9216.00 MB copied)"},
      // Without a total there is no time left; more than the total leaves nothing to wait for.
      {0, 2000, 1000, "512 Bytes/Sec "},
      {1000, 2000, 2000, "1.00 KB/Sec 0 sec (2.0 KB of 1000 Bytes copied)"},
  };
  for (const auto& v : vectors)
    EXPECT_EQ(StatusAfterOneSample(v.total, v.elapsedMs, v.position), v.expected) << v.position << " of " << v.total;
}

TEST(TransferStatsTest, NothingIsShownBeforeTheFirstSecond) {
  EXPECT_EQ(StatusAfterOneSample(2048, 1000, 1023), "");
  EXPECT_NE(StatusAfterOneSample(2048, 1001, 1023), "");
}

TEST(TransferStatsTest, TextsHoldBetweenSamples) {
  FakeClock clock;
  CTransferStats stats(clock.Source(), kLanguageEnglish);
  stats.SetTotal(63500);
  clock.Advance(2000);
  stats.SetPosition(1000);
  const std::string first = stats.GetStatusText();
  clock.Advance(500);
  stats.SetPosition(50000);
  EXPECT_EQ(stats.GetStatusText(), first);
}

TEST(TransferStatsTest, TenEmptySamplesMeanAStall) {
  FakeClock clock;
  CTransferStats stats(clock.Source(), kLanguageEnglish);
  stats.SetTotal(1000);
  // Calls within one second of the last sample are not samples.
  for (int call = 0; call < 10; ++call) {
    clock.Advance(100);
    stats.SetPosition(0);
  }
  EXPECT_EQ(stats.GetStatusText(), "");

  const auto sampleWith = [&](uint64_t position) {
    clock.Advance(1001);
    stats.SetPosition(position);
    return stats.IsAlive();
  };
  for (int sample = 1; sample <= 10; ++sample) EXPECT_EQ(sampleWith(0), sample < 10) << sample;
  EXPECT_FALSE(sampleWith(0));
  // One byte brings the countdown back to ten samples.
  EXPECT_TRUE(sampleWith(1));
  for (int sample = 1; sample <= 10; ++sample) EXPECT_EQ(sampleWith(1), sample < 10) << sample;
}

TEST(TransferStatsTest, TickWrapDoesNotDisturbTheSample) {
  // The transfer starts 1024 ms before the 32-bit tick wraps.
  EXPECT_EQ(StatusAfterOneSample(63500, 2000, 1000, 0xFFFFFC00u),
            "512 Bytes/Sec 2 min 5 sec (1000 Bytes of 62.0 KB copied)");
  EXPECT_EQ(StatusAfterOneSample(63500, 1000, 1000, 0xFFFFFE00u), "");
}

TEST(TransferStatsTest, RestartedCountAndHugeEstimatesStaySane) {
  FakeClock clock;
  CTransferStats stats(clock.Source(), kLanguageEnglish);
  stats.SetTotal(100000);
  clock.Advance(2000);
  stats.SetPosition(50000);
  // The transfer starts over: 500 new bytes, not an overflowed difference.
  clock.Advance(1001);
  stats.SetPosition(500);
  EXPECT_EQ(stats.GetStatusText().substr(0, 13), "511 Bytes/Sec");
  EXPECT_TRUE(stats.IsAlive());

  // One byte in 40 days with exabytes to go: a long wait, never undefined arithmetic.
  const std::string slow = StatusAfterOneSample(uint64_t{1} << 62, 3456000000u, 1);
  EXPECT_NE(slow.find(" min"), std::string::npos) << slow;
}

}  // namespace
