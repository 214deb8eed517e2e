#pragma once
// The "Ping" tool key: the defaults a Ping window and netrove-cli ping start
// from, and the ranges their number fields offer.
#include <cstdint>
#include <string_view>

namespace netrove {

inline constexpr std::string_view kPingToolName = "Ping";

inline constexpr std::string_view kPacketsToSendValue = "PacketsToSend";
inline constexpr std::string_view kSpecifyValue = "Specify";
inline constexpr std::string_view kPacketSizeValue = "PacketSize";
inline constexpr std::string_view kReplyTimeOutValue = "ReplyTimeOut";
inline constexpr std::string_view kResolveAddressValue = "ResolveAddress";
inline constexpr std::string_view kTimeToLiveValue = "TimeToLive";
inline constexpr std::string_view kTtlValue = "TTL#";
inline constexpr std::string_view kDontRouteValue = "DontRoute";

struct SpinRange {
  std::int32_t minimum;
  std::int32_t maximum;
};
inline constexpr SpinRange kPacketsToSendRange{1, 50};
inline constexpr SpinRange kPacketSizeRange{14, 4096};
inline constexpr SpinRange kReplyTimeOutRange{1, 59};
inline constexpr SpinRange kTtlRange{1, 255};

struct PingSettings {
  std::int32_t packetsToSend = 4;
  bool specifyLimit = true;
  std::int32_t packetSize = 64;
  std::int32_t replyTimeOutSeconds = 4;
  bool resolveAddress = false;
  bool setTimeToLive = false;
  std::int32_t timeToLive = 64;
  bool dontRoute = false;
};

// The stored values, each keeping its default when missing (or when the key
// does not exist). Values outside the ranges are returned as stored.
PingSettings ReadPingSettings();

// Creates the key if needed and writes one REG_DWORD value. False when the
// key cannot be created or the value not written.
bool WritePingSetting(std::string_view valueName, std::uint32_t value);

}  // namespace netrove
