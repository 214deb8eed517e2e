#pragma once
// The adaptive retransmission time-out of a transfer. The time-out follows the
// measured response time (smoothed, plus twice its mean deviation, rounded to
// whole seconds, 2 to 120 s); each retransmission of the same packet
// multiplies the wait in force by 2, 4, 8 and 16 in turn, so a silent peer is
// given up after waits of 3, 6, 24, 192 and 3072 seconds. Times are
// millisecond ticks handed in by the caller, so the timer runs without a clock.
#include <cstdint>

namespace netrove {

class CTftpTimer {
 public:
  virtual ~CTftpTimer() = default;

  // The wait about to begin, in milliseconds.
  std::int32_t BeforeWait(std::uint32_t now);
  // A packet arrived: measures and starts the count of retransmissions anew.
  void OnResponse(std::uint32_t now);
  // The wait ran out: measures and counts a retransmission. True when the
  // peer is to be given up (the fifth time-out in a row).
  bool OnTimeout(std::uint32_t now);

  int retransmissions() const { return retransmissions_; }

 private:
  void Measure(std::uint32_t now);

  int retransmissions_ = 0;
  std::int32_t timeout_ = 0;
  std::int32_t nextTimeout_ = 0;  // carried over from a retransmission; 0 = none
  std::uint32_t sendTime_ = 0;
  double smoothed_ = 0.0;  // seconds
  double deviation_ = 1.5;
};

}  // namespace netrove
