#pragma once
// What the ping and traceroute runs do alike: turning the stored reply
// timeout into the run's, looking up a target given by name, and the
// deadline of a wait.
#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace netrove {

class IMainWindowReporter;
class IResolver;
struct HostEntry;

// A reverse look-up that found no name. Linux's resolver says "no such
// name" (11001) where the address simply has none (11004): both mean that
// the address itself is shown.
bool IsMissingName(int code);

// What is left until `deadline`, in whole milliseconds, at least 0.
int MillisecondsUntil(std::chrono::steady_clock::time_point deadline);

// The stored timeout in seconds as milliseconds, kept within a 32-bit count.
std::int32_t ReplyTimeoutMilliseconds(std::int32_t seconds);

// Looks up `host` by name into `entry` and gives its first IPv4 address in
// `address`. A failed look-up, or one without an IPv4 address, is reported
// to the main window and gives false.
bool LookUpHostName(IResolver& resolver, const std::string& host, IMainWindowReporter& reporter,
                    HostEntry& entry, in_addr& address);

}  // namespace netrove
