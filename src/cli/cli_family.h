#pragma once
// -4 and -6, as ping, curl and ssh users write them: every command that
// connects to a host may be held to one address family. Either overrides the
// General page's choice for one run.
#include <optional>

#include "base/network_settings.h"
#include "cli/cli_command.h"

namespace netrove::cli {

inline constexpr Option kIPv4Option{"ipv4", '4', {}, "use IPv4 addresses only"};
inline constexpr Option kIPv6Option{"ipv6", '6', {}, "use IPv6 addresses only"};

// The stored choice, or the one the line gives; nothing, with the reason
// printed, when it gives both.
std::optional<FamilyChoice> FamilyFrom(const CommandLine& line, CliStreams& io,
                                       FamilyChoice stored);
// The General page's settings with the line's family choice.
std::optional<NetworkSettings> NetworkSettingsFrom(const CommandLine& line, CliStreams& io);

}  // namespace netrove::cli
