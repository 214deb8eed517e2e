#pragma once
// The millisecond tick count of the ICMP tools: a steady clock cut to 32
// bits. It wraps after about 49.7 days, so durations are always taken as the
// unsigned difference of two ticks, which stays right across the wrap.
#include <chrono>
#include <cstdint>

namespace netrove {

inline std::uint32_t TickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Milliseconds from `earlier` to `later`, correct across one wrap.
inline std::uint32_t TicksBetween(std::uint32_t earlier, std::uint32_t later) {
  return later - earlier;
}

}  // namespace netrove
