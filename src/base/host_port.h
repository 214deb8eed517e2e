#pragma once
// "HOST" or "HOST:PORT", as users type a server into a prompt or a command
// line. HOST is a name, an IPv4 address, or an IPv6 address: bare when no
// port follows ("::1", "fe80::1%eth0"), in brackets otherwise ("[::1]:21";
// "[::1]" alone is fine too). Two colons or more without brackets are an
// IPv6 address, never an address and a port.
#include <cstdint>
#include <string>
#include <string_view>

namespace netrove {

// False when the host is empty, a bracket is not closed, something other
// than ":PORT" follows it, or the port is not a number from 1 to 65535.
// Without a port `port` keeps its value (the caller's default); on failure
// `host` and `port` are left as they were.
bool SplitServerAndPort(std::string_view text, std::string& host, std::uint16_t& port);

}  // namespace netrove
