#pragma once
// What the ping and traceroute runs do alike: turning the stored reply
// timeout into the run's, finding the target's address, and the deadline of
// a wait.
#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/net_socket.h"

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

struct RunTarget {
  SocketAddress address;  // port 0
  // The text the transcript shows: an IPv4 address as typed, an IPv6 address
  // in its RFC 5952 form, a name's address in its numeric form.
  std::string addressText;
  bool typedAsAddress = false;  // no look-up by name was needed
  // A name's addresses of the family taken; more than one earns a warning.
  std::size_t addressesOfFamily = 1;
};

// Finds the address of `host`: an IPv4 address (inet_addr's reading), an
// IPv6 address, bare or in brackets, possibly scoped ("fe80::1%eth0"), or a
// name looked up with `resolver`, whose first address of an allowed family
// is taken (with FamilyChoice::Both, the resolver's order decides). A failed
// look-up, or one without an address the family choice allows, is reported
// to the main window and gives false.
bool FindRunTarget(IResolver& resolver, const std::string& host, FamilyChoice family,
                   IMainWindowReporter& reporter, RunTarget& out);

}  // namespace netrove
