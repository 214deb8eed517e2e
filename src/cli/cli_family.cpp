#include "cli/cli_family.h"

#include <ostream>

namespace netrove::cli {

std::optional<FamilyChoice> FamilyFrom(const CommandLine& line, CliStreams& io,
                                       FamilyChoice stored) {
  const bool ipv4 = line.Has(kIPv4Option.name);
  const bool ipv6 = line.Has(kIPv6Option.name);
  if (ipv4 && ipv6) {
    io.err << "netrove-cli: give -4 or -6, not both\n";
    return std::nullopt;
  }
  if (ipv4) return FamilyChoice::IPv4Only;
  if (ipv6) return FamilyChoice::IPv6Only;
  return stored;
}

std::optional<NetworkSettings> NetworkSettingsFrom(const CommandLine& line, CliStreams& io) {
  NetworkSettings settings = ReadNetworkSettings();
  const std::optional<FamilyChoice> families = FamilyFrom(line, io, settings.families);
  if (!families) return std::nullopt;
  settings.families = *families;
  return settings;
}

}  // namespace netrove::cli
