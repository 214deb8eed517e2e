#pragma once
// Scripted FTP dialogues the engine and command-line tests share: the
// anonymous login as the engine sends it, and the passive reply that sends
// the client to a scripted data server.
#include <string>

#include "support/scripted_server.h"

namespace netrove::test {

// The anonymous login up to the PWD that follows it, FEAT answered with
// `features` (by default: none). With `tlsRefused` the login starts with
// the AUTH TLS a client asks where TLS is only taken if offered, refused.
inline Script& AnonymousLogin(Script& script, const std::string& features = "211 no extensions\r\n",
                              bool tlsRefused = false) {
  script.Accept().Send("220 ready\r\n");
  if (tlsRefused) script.ExpectLine("AUTH TLS").Send("502 no TLS here\r\n");
  return script.ExpectLine("USER anonymous")
      .Send("331 password\r\n")
      .ExpectLine("PASS plume")
      .Send("230 in\r\n")
      .ExpectLine("FEAT")
      .Send(features)
      .ExpectLine("PWD");
}

// The anonymous login, its PWD answered and the listing after it refused
// at PASV.
inline Script& LoginWithoutListing(Script& script, bool tlsRefused = false) {
  return AnonymousLogin(script, "211 no extensions\r\n", tlsRefused)
      .Send("257 \"/\"\r\n")
      .ExpectLine("PASV")
      .Send("502 no\r\n");
}

// "227 Entering Passive Mode (127,0,0,1,p1,p2)" with the port of `data`.
inline std::string PassiveReplyNaming(const CScriptedServer& data) {
  const int port = data.port();
  std::string reply = "227 Entering Passive Mode (127,0,0,1,";
  reply += std::to_string(port / 256);
  reply += ',';
  reply += std::to_string(port % 256);
  reply += ")\r\n";
  return reply;
}

}  // namespace netrove::test
