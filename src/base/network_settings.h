#pragma once
// What the General page of Customize sets for every tool that talks to a
// server over a connection of its own (Finger, WhoIs, Mail, Daytime, Quote
// of the Day, FTP, News, Chat): how long a connection attempt may take, how
// long a whole reply may take to arrive once it is awaited, and which
// address families a connection may use (Ping and traceroute, which make
// no connection, take the family choice too). Without the waits a host that drops
// connection attempts, or a server that accepts and then says nothing (or
// trickles), keeps a window busy for minutes or for good.
#include <cstdint>
#include <string_view>

#include "base/net_socket.h"

namespace netrove {

// Values of the program's own key, the one the General page writes.
inline constexpr std::string_view kGeneralKeyName = "Netrove";
inline constexpr std::string_view kValueConnectTimeout = "ConnectTimeout";  // seconds
inline constexpr std::string_view kValueReplyTimeout = "ReplyTimeout";      // seconds, 0: none
// 0 both families, 4 IPv4 only, 6 IPv6 only.
inline constexpr std::string_view kValueAddressFamily = "AddressFamily";
inline constexpr std::uint32_t kDefaultConnectTimeout = 30;
inline constexpr std::uint32_t kDefaultReplyTimeout = 120;
inline constexpr std::uint32_t kLongestNetworkTimeout = 3600;

struct NetworkSettings {
  int connectMs = static_cast<int>(kDefaultConnectTimeout) * 1000;
  int replyMs = static_cast<int>(kDefaultReplyTimeout) * 1000;  // 0: no bound
  FamilyChoice families = FamilyChoice::Both;
};

// The stored values; a missing or out-of-range one keeps its default (a
// connect time-out of 0 too: a connection attempt always ends).
NetworkSettings ReadNetworkSettings();
// The stored AddressFamily value of a choice.
std::uint32_t StoredFamilyValue(FamilyChoice choice);
// The connect time-out and the family choice, on a socket about to connect.
void ApplyConnectSettings(CNetSocket& socket, const NetworkSettings& settings);

}  // namespace netrove
