#include "download/TransferStats.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "platform/Clock.h"
#include "window/Catalogue.h"

namespace {

constexpr uint32_t kSampleIntervalMs = 1000;

enum CatalogueId {
  kSizeBytes = 133,
  kSizeKiloBytes = 134,
  kSizeMegaBytes = 135,
  kSpeedBytes = 136,
  kSpeedKiloBytes = 137,
  kTimeMinutesSeconds = 138,
  kTimeSeconds = 139,
  kTimeMinutes = 140,
  kTimeLeftCopied = 141,
  kCopiedOfTotal = 143,
};

template <typename... Args>
std::string Printf(const char* format, Args... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

}  // namespace

CTransferStats::CTransferStats(TickSource tick, std::optional<uint16_t> languageId)
    : tick_(tick ? std::move(tick) : TickSource(platform::TickCount)), languageId_(languageId) {
  Reset();
}

CTransferStats::~CTransferStats() = default;

void CTransferStats::Reset() {
  startTick_ = lastTick_ = tick_();
  position_ = lastPosition_ = total_ = 0;
  stallCountdown_ = kStallSamples;
}

void CTransferStats::SetTotal(uint64_t bytes) { total_ = bytes; }

void CTransferStats::SetFileName(const std::string& name) { fileName_ = name; }

void CTransferStats::SetPosition(uint64_t bytes) {
  position_ = bytes;
  Update();
}

std::string CTransferStats::GetStatusText() const {
  if (speedText_.empty()) return {};
  return speedText_ + " " + timeLeftText_;
}

void CTransferStats::Update() {
  const uint32_t now = tick_();
  const uint32_t elapsed = now - lastTick_;  // unsigned: correct across the tick's wrap
  if (elapsed <= kSampleIntervalMs) return;

  // A count below the last sample means the transfer started over; the new count is what it moved.
  const uint64_t moved = position_ >= lastPosition_ ? position_ - lastPosition_ : position_;
  const double speed = static_cast<double>(moved) / elapsed;
  speedText_ = SpeedText(speed);
  stallCountdown_ = speed > 0.0 ? kStallSamples : std::max(stallCountdown_ - 1, 0);
  lastTick_ = now;
  lastPosition_ = position_;

  if (total_ > 0 && position_ != 0) {
    // More bytes than announced leave nothing to wait for rather than an absurd remainder.
    const uint64_t remaining = total_ > position_ ? total_ - position_ : 0;
    const double msPerByte = static_cast<double>(static_cast<uint32_t>(now - startTick_)) / position_;
    const double seconds = msPerByte * remaining / 1000.0;
    // Clamped so that the conversion stays defined however slow the start was.
    const double kMaxSeconds = 1e15;
    const uint64_t secondsLeft = static_cast<uint64_t>(seconds < kMaxSeconds ? seconds : kMaxSeconds);
    timeLeftText_ = TimeLeftText(secondsLeft, position_);
  }
}

std::string CTransferStats::Message(int id) const {
  return languageId_ ? LoadCatalogueStringIn(*languageId_, id) : LoadCatalogueString(id);
}

std::string CTransferStats::SizeText(uint64_t bytes) const {
  if (bytes < 1024) return FormatCatalogueInserts(Message(kSizeBytes), Printf("%" PRIu64, bytes), "");
  if (bytes >= 1048576)
    return FormatCatalogueInserts(Message(kSizeMegaBytes), Printf("%0.2f", static_cast<double>(bytes) / 1048576.0), "");
  return FormatCatalogueInserts(Message(kSizeKiloBytes), Printf("%0.1f", static_cast<double>(bytes) / 1024.0), "");
}

std::string CTransferStats::SpeedText(double bytesPerMs) const {
  if (bytesPerMs < 1.0) return FormatCatalogueInserts(Message(kSpeedBytes), Printf("%0.0f", bytesPerMs * 1024.0), "");
  if (bytesPerMs < 10.0) return FormatCatalogueInserts(Message(kSpeedKiloBytes), Printf("%0.2f", bytesPerMs), "");
  return FormatCatalogueInserts(Message(kSpeedKiloBytes), Printf("%0.0f", bytesPerMs), "");
}

std::string CTransferStats::TimeLeftText(uint64_t secondsLeft, uint64_t bytes) const {
  const std::string copied = FormatCatalogueInserts(Message(kCopiedOfTotal), SizeText(bytes), SizeText(total_));
  std::string time;
  if (secondsLeft >= 60) {
    const std::string minutes = Printf("%" PRIu64, secondsLeft / 60);
    const uint64_t seconds = secondsLeft % 60;
    time = seconds != 0
               ? FormatCatalogueInserts(Message(kTimeMinutesSeconds), minutes, Printf("%" PRIu64, seconds))
               : FormatCatalogueInserts(Message(kTimeMinutes), minutes, "");
  } else {
    time = FormatCatalogueInserts(Message(kTimeSeconds), Printf("%" PRIu64, secondsLeft), "");
  }
  return FormatCatalogueInserts(Message(kTimeLeftCopied), time, copied);
}
