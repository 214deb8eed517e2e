#pragma once
// What a server's answer to EHLO says it can do (RFC 5321 4.1.1.1): the
// keyword lines after the greeting line. The mail tester needs STARTTLS and
// the AUTH mechanisms; the rest is shown in the transcript as it came.
#include <string>
#include <string_view>
#include <vector>

namespace netrove {

struct SmtpCapabilities {
  bool startTls = false;
  bool authPlain = false;
  bool authLogin = false;
  // Every keyword the server named, upper-cased, without its parameters.
  std::vector<std::string> keywords;
};

// Reads the lines of a 250 reply to EHLO, codes included ("250-STARTTLS",
// "250 AUTH PLAIN LOGIN"). The first line greets and names the server; it
// is not a capability. Keywords and mechanisms are matched without regard
// to case; "AUTH=LOGIN", an old spelling some servers still send, counts too.
SmtpCapabilities ParseEhloReply(const std::vector<std::string>& lines);

}  // namespace netrove
