#pragma once
// The adaptive retransmission time-out of a transfer. The time-out follows the
// measured response time (smoothed, plus twice its mean deviation, rounded to
// whole seconds, 2 to 120 s); each retransmission of the same packet
// multiplies the wait in force by 2, 4, 8 and 16 in turn. The waits for one
// packet together never exceed the give-up bound (a minute unless set): the
// backoff alone would keep a silent peer's transfer, its thread and its slot
// for about 55 minutes (3, 6, 24, 192 and 3072 s), long enough for a handful
// of requests to lock a server out. With the first wait of 3 s the waits are
// 3, 6, 24 and 27 s. Times are millisecond ticks handed in by the caller, so
// the timer runs without a clock.
#include <cstdint>

namespace netrove {

inline constexpr std::int32_t kTftpGiveUpMs = 60000;

class CTftpTimer {
 public:
  virtual ~CTftpTimer() = default;

  // The longest a packet is waited for in all, its retransmissions included
  // (at least one second).
  void SetGiveUpAfter(std::int32_t milliseconds);

  // A time-out agreed with the peer: every wait is this long, without
  // backoff (0 returns to the adaptive time-out).
  void SetFixedTimeout(std::int32_t milliseconds) { fixedTimeout_ = milliseconds; }

  // The wait about to begin, in milliseconds.
  std::int32_t BeforeWait(std::uint32_t now);
  // A packet arrived: measures and starts the count of retransmissions anew.
  void OnResponse(std::uint32_t now);
  // The wait ran out: measures and counts a retransmission. True when the
  // peer is to be given up (the fifth time-out in a row, or the give-up
  // bound spent).
  bool OnTimeout(std::uint32_t now);

  int retransmissions() const { return retransmissions_; }

 private:
  std::int32_t NextTimeout(std::uint32_t now);
  void Measure(std::uint32_t now);

  int retransmissions_ = 0;
  std::int32_t giveUpAfter_ = kTftpGiveUpMs;
  std::int32_t waited_ = 0;    // the waits that ran out for the current packet
  std::int32_t lastWait_ = 0;  // the wait BeforeWait handed out
  std::int32_t timeout_ = 0;
  std::int32_t fixedTimeout_ = 0;
  std::int32_t nextTimeout_ = 0;  // carried over from a retransmission; 0 = none
  std::uint32_t sendTime_ = 0;
  double smoothed_ = 0.0;  // seconds
  double deviation_ = 1.5;
};

}  // namespace netrove
