#include "support/wait_until.h"

#include <thread>

namespace netrove::test {

void SleepBriefly() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

bool WaitUntil(const std::function<bool()>& condition, const std::function<void()>& between,
               std::chrono::milliseconds deadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    between();
  }
  return true;
}

}  // namespace netrove::test
