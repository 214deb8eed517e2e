#include "diagnostics/ping_ledger.h"

namespace netrove {

void CPingLedger::Sent(std::uint16_t number, Clock::time_point deadline) {
  states_[number] = State::kPending;
  pending_.push_back({number, deadline});
}

CPingLedger::Verdict CPingLedger::Replied(std::uint16_t number) {
  switch (states_[number]) {
    case State::kPending:
      states_[number] = State::kAnswered;
      return Verdict::kFirstReply;
    case State::kAnswered:
      return Verdict::kDuplicate;
    default:
      return Verdict::kNotPending;
  }
}

bool CPingLedger::Failed() {
  SkipSettled();
  if (pending_.empty()) return false;
  states_[pending_.front().number] = State::kFailed;
  pending_.pop_front();
  return true;
}

std::optional<CPingLedger::Clock::time_point> CPingLedger::NextDeadline() {
  SkipSettled();
  if (pending_.empty()) return std::nullopt;
  return pending_.front().deadline;
}

bool CPingLedger::TimedOut(Clock::time_point now) {
  const auto deadline = NextDeadline();
  if (!deadline || *deadline > now) return false;
  return Failed();
}

void CPingLedger::SkipSettled() {
  // A request is pending in the queue only while its state says so: a
  // number sent again after the 16-bit count wrapped has a new entry.
  while (!pending_.empty() && states_[pending_.front().number] != State::kPending) {
    pending_.pop_front();
  }
}

}  // namespace netrove
