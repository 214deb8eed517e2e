#pragma once
// The one way tests wait for something another thread or the event loop
// brings about: poll a condition until it holds or a deadline passes.
#include <chrono>
#include <functional>

namespace netrove::test {

// Sleeps a moment between polls: for conditions that other threads change.
void SleepBriefly();

// Polls `condition`, running `between` after each miss, until it holds (true)
// or `deadline` passes (false). Window tests pass TurnEventLoop
// (support/event_loop.h) so queued events are delivered while they wait.
bool WaitUntil(const std::function<bool()>& condition,
               const std::function<void()>& between = SleepBriefly,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace netrove::test
