#pragma once
// "HOST" or "HOST:PORT", as users type a server into a prompt or a command
// line.
#include <cstdint>
#include <string>
#include <string_view>

namespace netrove {

// False when the host is empty or the port is not a number from 1 to 65535.
// Without a port `port` keeps its value (the caller's default).
bool SplitServerAndPort(std::string_view text, std::string& host, std::uint16_t& port);

}  // namespace netrove
