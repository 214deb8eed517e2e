#pragma once
// What the ping and traceroute runs do alike: turning the stored reply
// timeout into the run's and looking up a target given by name.
#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace netrove {

class IMainWindowReporter;
class IResolver;
struct HostEntry;

// The stored timeout in seconds as milliseconds, kept within a 32-bit count.
std::int32_t ReplyTimeoutMilliseconds(std::int32_t seconds);

// Looks up `host` by name into `entry` and gives its first IPv4 address in
// `address`. A failed look-up, or one without an IPv4 address, is reported
// to the main window and gives false.
bool LookUpHostName(IResolver& resolver, const std::string& host, IMainWindowReporter& reporter,
                    HostEntry& entry, in_addr& address);

}  // namespace netrove
