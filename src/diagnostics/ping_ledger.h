#pragma once
// What became of each request of a ping run. Every request is settled once:
// by its first reply, by an ICMP error, or when its time-out, counted from
// its own send, runs out. The receiver waits for the earliest unsettled
// request only, so ICMP traffic of others (another ping, spoofed packets)
// can never stretch a wait, and a second reply to a request already
// answered is known as a duplicate.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>

namespace netrove {

class CPingLedger {
 public:
  using Clock = std::chrono::steady_clock;

  enum class Verdict {
    kFirstReply,  // counts as the request's reply
    kDuplicate,   // the request was answered already
    kNotPending,  // never sent in this run, or settled by an error or its time-out
  };

  // Before the request leaves: it is pending until `deadline`.
  void Sent(std::uint16_t number, Clock::time_point deadline);
  Verdict Replied(std::uint16_t number);
  // An ICMP error for one of the run's requests: the earliest pending one
  // (the error may not quote far enough to name it). False if none is.
  bool Failed();
  // The time-out of the earliest pending request; nothing if none pends.
  std::optional<Clock::time_point> NextDeadline();
  // Settles the earliest pending request if its time-out has run out at
  // `now`; true if it did.
  bool TimedOut(Clock::time_point now);

 private:
  enum class State : std::uint8_t { kUnsent, kPending, kAnswered, kFailed };
  struct Pending {
    std::uint16_t number;
    Clock::time_point deadline;
  };
  // Drops settled requests from the front of the queue.
  void SkipSettled();

  std::array<State, 0x10000> states_{};
  std::deque<Pending> pending_;
};

}  // namespace netrove
