#include "transfer/tftp_timer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace netrove {
namespace {

constexpr std::array<std::int32_t, 5> kBackoffFactor = {1, 2, 4, 8, 16};
constexpr int kMostRetransmissions = 4;
constexpr std::int32_t kShortestTimeout = 2000;
constexpr std::int32_t kLongestTimeout = 120000;
constexpr std::int32_t kShortestGiveUp = 1000;

}  // namespace

void CTftpTimer::SetGiveUpAfter(std::int32_t milliseconds) {
  giveUpAfter_ = std::max(milliseconds, kShortestGiveUp);
}

std::int32_t CTftpTimer::BeforeWait(std::uint32_t now) {
  lastWait_ = std::min(NextTimeout(now), giveUpAfter_ - waited_);
  return lastWait_;
}

std::int32_t CTftpTimer::NextTimeout(std::uint32_t now) {
  if (fixedTimeout_ > 0) return fixedTimeout_;
  if (retransmissions_ > 0) {
    timeout_ *=
        kBackoffFactor[static_cast<std::size_t>(std::min(retransmissions_, kMostRetransmissions))];
    return timeout_;
  }
  sendTime_ = now;
  if (nextTimeout_ != 0) {
    timeout_ = nextTimeout_;
    nextTimeout_ = 0;
    return timeout_;
  }
  const auto seconds = static_cast<std::int32_t>(smoothed_ + 2.0 * deviation_ + 0.5);
  timeout_ = std::clamp(seconds * 1000, kShortestTimeout, kLongestTimeout);
  return timeout_;
}

void CTftpTimer::Measure(std::uint32_t now) {
  if (retransmissions_ > 0) {
    // The answer may belong to any of the copies sent: no measurement.
    nextTimeout_ = timeout_;
    return;
  }
  const double response = static_cast<double>(now - sendTime_) / 1000.0;
  const double difference = response - smoothed_;
  smoothed_ += difference / 8.0;
  deviation_ += (std::fabs(difference) - deviation_) / 4.0;
}

void CTftpTimer::OnResponse(std::uint32_t now) {
  Measure(now);
  retransmissions_ = 0;
  waited_ = 0;
}

bool CTftpTimer::OnTimeout(std::uint32_t now) {
  Measure(now);
  ++retransmissions_;
  waited_ += lastWait_;
  return retransmissions_ > kMostRetransmissions || waited_ >= giveUpAfter_;
}

}  // namespace netrove
