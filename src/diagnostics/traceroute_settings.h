#pragma once
// The "traceroute" tool key: the defaults a traceroute window and
// netrove-cli traceroute start from, and the ranges their fields offer.
#include <cstdint>
#include <string_view>

#include "diagnostics/ping_settings.h"

namespace netrove {

// Key names compare without regard to case, so the window template's type
// name "TraceRoute" opens the same key.
inline constexpr std::string_view kTraceRouteToolName = "traceroute";

inline constexpr std::string_view kTraceProbesToSendValue = "ProbesToSend";
inline constexpr std::string_view kTraceReplyTimeOutValue = "ReplyTimeOut";
inline constexpr std::string_view kTraceInitialTtlValue = "InitialTTL";
inline constexpr std::string_view kTraceMaximumTtlValue = "MaximumTTL";
inline constexpr std::string_view kTracePacketSizeValue = "PacketSize";
inline constexpr std::string_view kTraceInitialDestPortValue = "InitialDestPort";
inline constexpr std::string_view kTraceResolveAddressValue = "ResolveAddress";
inline constexpr std::string_view kTraceDontRouteValue = "DontRoute";
inline constexpr std::string_view kTraceVerboseValue = "Verbose";

inline constexpr SpinRange kProbesToSendRange{1, 20};
inline constexpr SpinRange kTraceTimeOutRange{1, 59};
inline constexpr SpinRange kTraceTtlRange{1, 255};
// A probe carries a 10-byte header, so no probe is ever smaller.
inline constexpr SpinRange kProbeSizeRange{10, 16384};
inline constexpr SpinRange kDestinationPortRange{1, 65535};
inline constexpr int kDestinationPortDigits = 5;

struct TraceRouteSettings {
  std::int32_t probesToSend = 3;
  std::int32_t replyTimeOutSeconds = 5;
  std::int32_t initialTtl = 1;
  std::int32_t maximumTtl = 30;
  std::int32_t packetSize = 10;
  std::int32_t initialDestPort = 33434;
  bool resolveAddress = false;
  bool dontRoute = false;
  bool verbose = false;
};

// The stored values, each keeping its default when missing (or when the key
// does not exist). Values outside the ranges are returned as stored.
TraceRouteSettings ReadTraceRouteSettings();

// Creates the key if needed and writes one REG_DWORD value. False when the
// key cannot be created or the value not written.
bool WriteTraceRouteSetting(std::string_view valueName, std::uint32_t value);

// The rules the two time-to-live fields keep whenever one of them changes:
// the maximum never drops below the initial value, the initial value never
// rises above the maximum.
std::int32_t KeptMaximumTtl(std::int32_t maximum, std::int32_t initial);
std::int32_t KeptInitialTtl(std::int32_t initial, std::int32_t maximum);

// The port field's rule: above 65535 becomes 65535; 0, or a text that is no
// number, becomes 1.
std::int32_t KeptDestinationPort(std::string_view digits);

}  // namespace netrove
