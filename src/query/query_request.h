#pragma once
// The one line a Finger or WhoIs client sends, and the servers it sends it
// to. Both protocols are "connect, send one line, read until the server
// closes"; only the port and the line differ.
#include <cstdint>
#include <string>
#include <string_view>

namespace netrove {

inline constexpr std::uint16_t kFingerPort = 79;
inline constexpr std::uint16_t kWhoIsPort = 43;

// Lengths the windows' edits allow, in characters.
inline constexpr int kServerTextLimit = 256;
inline constexpr int kFingerQueryLimit = 510;
inline constexpr int kWhoIsCommandLimit = 256;

// True when `text` can go into a request line: no CR, LF or NUL. Any of them
// would end the line early and let the rest (typed, pasted or given on the
// command line) reach the server as a request of its own.
bool IsSafeQueryText(std::string_view text);

// The Finger request: "/W " (or "/W" alone for an empty query) when the
// verbose token is asked for, the query, CR LF.
std::string FingerRequestLine(std::string_view query, bool verboseToken);

// The WhoIs request: the command line followed by CR LF.
std::string WhoIsRequestLine(std::string_view commandLine);
// What "Request Help" sends.
inline constexpr std::string_view kWhoIsHelpRequest = "?\r\n";

// The two registry servers a WhoIs window offers besides one of the user's.
struct WhoIsServer {
  std::string_view host;
  std::string_view caption;  // names the registry and the host
};
inline constexpr WhoIsServer kDefaultWhoIsServer{"whois.iana.org", "IANA (whois.iana.org)."};
inline constexpr WhoIsServer kAlternativeWhoIsServer{"whois.arin.net", "ARIN (whois.arin.net)."};

}  // namespace netrove
