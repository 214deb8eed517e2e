#pragma once
// Scripted SMTP servers shared by the dialogue and window tests.
#include "support/scripted_server.h"

namespace netrove::test {

// A greeting, EHLO and MAIL accepted, then the recipient refused: the
// client says goodbye and closes, though the server would wait.
inline Script RefusingServer() {
  return Script()
      .Accept()
      .Send("220 ready\r\n")
      .ExpectLine("EHLO [127.0.0.1]")
      .Send("250 hello\r\n")
      .ExpectLine("MAIL FROM:<alice@example.test>")
      .Send("250 ok\r\n")
      .ExpectLine("RCPT TO:<bob@example.test>")
      .Send("550 no such user\r\n")
      .ExpectLine("QUIT")
      .Send("221 bye\r\n")
      .ExpectClosed();
}

// Greets, takes EHLO and then says nothing until the client closes.
inline Script SilentAfterEhlo() {
  return Script().Accept().Send("220 ready\r\n").ExpectLine("EHLO [127.0.0.1]").ExpectClosed();
}

}  // namespace netrove::test
