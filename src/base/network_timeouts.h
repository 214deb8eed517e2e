#pragma once
// The two waits the General page of Customize sets for every tool that
// talks to a server over a connection of its own (Finger, WhoIs, Mail,
// Daytime, Quote of the Day): how long a connection attempt may take, and
// how long a whole reply may take to arrive once it is awaited. Without them
// a host that drops connection attempts, or a server that accepts and then
// says nothing (or trickles), keeps a window busy for minutes or for good.
#include <cstdint>
#include <string_view>

namespace netrove {

// Values of the program's own key, the one the General page writes.
inline constexpr std::string_view kGeneralKeyName = "Netrove";
inline constexpr std::string_view kValueConnectTimeout = "ConnectTimeout";  // seconds
inline constexpr std::string_view kValueReplyTimeout = "ReplyTimeout";      // seconds, 0: none
inline constexpr std::uint32_t kDefaultConnectTimeout = 30;
inline constexpr std::uint32_t kDefaultReplyTimeout = 120;
inline constexpr std::uint32_t kLongestNetworkTimeout = 3600;

struct NetworkTimeouts {
  int connectMs = static_cast<int>(kDefaultConnectTimeout) * 1000;
  int replyMs = static_cast<int>(kDefaultReplyTimeout) * 1000;  // 0: no bound
};

// The stored values; a missing or out-of-range one keeps its default (a
// connect time-out of 0 too: a connection attempt always ends).
NetworkTimeouts ReadNetworkTimeouts();

}  // namespace netrove
