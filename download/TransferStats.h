#pragma once
// Speed, time left and stall verdict of one monitored download. The monitor feeds it the byte
// count about every 100 ms; the texts change only on samples more than a second apart and keep
// their last values in between.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class CTransferStats {
 public:
  using TickSource = std::function<uint32_t()>;

  // `tick` is a wrapping 32-bit millisecond counter (the system's by default). The texts come
  // from the catalogue in `languageId`, or in the language of the engine's locale when none is
  // given.
  explicit CTransferStats(TickSource tick = {}, std::optional<uint16_t> languageId = std::nullopt);
  virtual ~CTransferStats();

  // Starts the clock over: no position, no total, ten samples before a stall. The texts stay.
  void Reset();
  void SetTotal(uint64_t bytes);
  void SetFileName(const std::string& name);
  const std::string& FileName() const { return fileName_; }
  // Records the byte count and takes a sample when more than a second has passed since the last.
  void SetPosition(uint64_t bytes);

  // False after kStallSamples samples in a row without a byte.
  static constexpr int kStallSamples = 10;
  bool IsAlive() const { return stallCountdown_ > 0; }
  // About how long a transfer that receives nothing stays alive: a sample a second.
  static constexpr uint32_t kStallPeriodMs = kStallSamples * 1000;
  // "<speed> <time left> (<copied> of <total> copied)", empty before the first sample.
  std::string GetStatusText() const;

 private:

  void Update();
  std::string Message(int id) const;
  std::string SizeText(uint64_t bytes) const;
  std::string SpeedText(double bytesPerMs) const;
  std::string TimeLeftText(uint64_t secondsLeft, uint64_t bytes) const;

  TickSource tick_;
  std::optional<uint16_t> languageId_;
  uint32_t startTick_ = 0;
  uint32_t lastTick_ = 0;
  uint64_t position_ = 0;
  uint64_t lastPosition_ = 0;
  uint64_t total_ = 0;
  std::string fileName_;
  std::string speedText_;
  std::string timeLeftText_;
  int stallCountdown_ = kStallSamples;
};
