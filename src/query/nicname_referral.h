#pragma once
// WhoIs referrals: a registry's answer names the server that knows more, as
// IANA does with "refer:" (or "whois:") and a registry with "Registrar WHOIS
// Server:". The finder is fed an answer in pieces as they arrive and keeps
// only the line in progress (at most a bounded length), so an answer of any
// size costs what it adds.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace netrove {

// The servers one query asks in all, the first included.
inline constexpr int kMostWhoIsServers = 3;

class CWhoIsReferralFinder {
 public:
  // The next piece of the answer, as received.
  void Feed(std::string_view bytes);
  // The first referral of the answer: "HOST" or "HOST:PORT", after the last
  // line (one without its line end included).
  std::optional<std::string> Referral();

 private:
  void TakeLine();

  std::string line_;
  bool lineTooLong_ = false;
  std::optional<std::string> referral_;
};

// The referral a line names, if it is one: the value of "refer:", "whois:"
// or "Registrar WHOIS Server:" (names compared without regard to case), with
// a "whois://" prefix and a trailing "/" removed. Only a host name, an IPv4
// address or a bracketed IPv6 address, with an optional port, is accepted.
std::optional<std::string> WhoIsReferralOf(std::string_view line);

// The heading a followed answer is shown under.
std::string WhoIsServerHeading(std::string_view server);

}  // namespace netrove
