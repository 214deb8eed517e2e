#pragma once
// A scripted peer on 127.0.0.1 for the misbehaviours a real server will not
// produce: it follows a script on its own thread (expect these exact bytes,
// send these, send a reply in pieces with pauses, wait, close, reset) and
// reports where the client's bytes differed from the script.
//
//   test::CScriptedServer server;                  // TCP, ephemeral port
//   server.Start(test::Script().Accept().Send("220 ready\r\n").ExpectLine("QUIT")
//                    .Send("221 bye\r\n").Close());
//   RunClientAgainst(server.port());
//   EXPECT_TRUE(server.Finished());                // mismatch or unfinished: fails with the text
//
// A protocol with a second connection (FTP data) uses a second server: its
// port is known from construction on, before either script starts. Plain
// POSIX sockets, so the fixture does not depend on the code it tests.
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace netrove::test {

// What a custom step may use: the accepted TCP connection (or the UDP
// socket) and the sender of the last datagram.
struct StepContext {
  int socket = -1;
  sockaddr_in peer{};
};

class ScriptSession;

class Script {
 public:
  // TCP: accepts the next connection (closing the one before, if open).
  Script& Accept();
  // TCP: the client's next bytes must be exactly `bytes`.
  Script& Expect(std::string bytes);
  // TCP: the client's next line must be `line` followed by CR LF.
  Script& ExpectLine(std::string line);
  // TCP: the client must close its side (or reset) without sending more.
  Script& ExpectClosed();
  // TCP: sends `bytes` at once.
  Script& Send(std::string bytes);
  // TCP: sends each piece separately, pausing between them, so the client
  // receives one reply over several receives.
  Script& SendInPieces(std::vector<std::string> pieces, std::chrono::milliseconds pause);
  Script& Wait(std::chrono::milliseconds pause);
  // TCP: an orderly close (FIN) of the connection.
  Script& Close();
  // TCP: an abortive close (SO_LINGER 0): the client sees ECONNRESET.
  Script& Reset();
  // UDP: the next datagram must be exactly `bytes`; its sender is remembered.
  Script& ExpectDatagram(std::string bytes);
  // UDP: sends a datagram to the sender of the last one.
  Script& SendDatagram(std::string bytes);
  // Anything else; `step` returns the failure text, empty when it passed.
  Script& Do(std::string what, std::function<std::string(StepContext&)> step);

 private:
  friend class ScriptSession;
  struct Step {
    std::string what;
    std::function<std::string(ScriptSession&)> run;
  };
  Script& Add(std::string what, std::function<std::string(ScriptSession&)> run);
  std::vector<Step> steps_;
};

class CScriptedServer {
 public:
  // TcpIPv6: TCP on ::1 instead of 127.0.0.1.
  enum class Transport { Tcp, Udp, TcpIPv6 };
  // Binds 127.0.0.1 (or ::1) on an ephemeral port (and listens, for TCP).
  explicit CScriptedServer(Transport transport = Transport::Tcp);
  ~CScriptedServer();
  CScriptedServer(const CScriptedServer&) = delete;
  CScriptedServer& operator=(const CScriptedServer&) = delete;

  std::uint16_t port() const { return port_; }
  // Runs the script on the server's thread. One script per server.
  void Start(Script script);
  // Waits for the script to end: success when every step passed; otherwise a
  // failure saying which step differed and how, or where the script stood at
  // the deadline (the server then stops). After a failed step the connection
  // is reset so the client does not wait for replies that will not come; after
  // the last step it stays open until Close/Reset or the server's end.
  ::testing::AssertionResult Finished(
      std::chrono::milliseconds deadline = std::chrono::seconds(10));

 private:
  std::unique_ptr<ScriptSession> session_;
  std::thread thread_;
  std::uint16_t port_ = 0;
};

// Bytes as a readable C-style literal: "220 ok\r\n", "\x00" for others.
std::string Escaped(std::string_view bytes);

}  // namespace netrove::test
