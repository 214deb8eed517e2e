#pragma once
// The "NicName" tool key: which WhoIs server a new NicName/WhoIs window (and
// netrove-cli whois) asks, and the user's own server for "Other".
#include <cstdint>
#include <string>
#include <string_view>

namespace netrove {

inline constexpr std::string_view kNicNameToolName = "NicName";
inline constexpr std::string_view kDBaseValue = "dBase";
inline constexpr std::string_view kDBaseLocationValue = "dBaseLocation";
// Set: show the first server's answer only; absent or 0: follow referrals.
inline constexpr std::string_view kStopAtFirstAnswerValue = "StopAtFirstAnswer";

// The stored numbers: 0 and 1 pick the built-in servers; any other number
// means "Other", which the Customize page writes as 2.
enum class WhoIsServerChoice : std::uint32_t { Default = 0, Alternative = 1, Other = 2 };
WhoIsServerChoice WhoIsServerChoiceFromStored(std::uint32_t stored);

struct NicNameSettings {
  WhoIsServerChoice choice = WhoIsServerChoice::Default;
  std::string otherServer;
  bool followReferrals = true;
};

// The stored values; defaults for what is missing (the default server when
// the key does not exist). The server is read up to 256 characters.
NicNameSettings ReadNicNameSettings();
std::string ReadOtherWhoIsServer();

// Create the key if needed and write one value; false when the store could
// not be written.
bool WriteWhoIsServerChoice(WhoIsServerChoice choice);
bool WriteOtherWhoIsServer(std::string_view server);

// The host a choice stands for: a built-in server, or `otherServer`.
std::string WhoIsServerHost(WhoIsServerChoice choice, const std::string& otherServer);

}  // namespace netrove
