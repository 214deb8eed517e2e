// The scripted server itself, driven by a small plain-socket client.
#include "support/scripted_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/reply_framer.h"
#include "support/loopback_socket.h"

namespace netrove::test {
namespace {

class Client {
 public:
  explicit Client(std::uint16_t port, int type = SOCK_STREAM) : socket_(BoundSocket(type, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    connected_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { ::close(socket_); }
  bool connected() const { return connected_; }
  void Send(std::string_view bytes) {
    ASSERT_EQ(::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // One receive: the bytes, empty at the end of the stream; errno on failure.
  std::string Receive(int& error) {
    char buffer[4096];
    const ssize_t got = ::recv(socket_, buffer, sizeof buffer, 0);
    error = got < 0 ? errno : 0;
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
  }

 private:
  int socket_;
  bool connected_ = false;
};

TEST(ScriptedServer, DeliversASplitReplyThatTheFramerAssemblesOnce) {
  CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("220 ready\r\n")
                   .ExpectLine("HELP")
                   .SendInPieces({"214-comm", "ands\r\n  QUIT\r\n21", "4 end\r\n"},
                                 std::chrono::milliseconds(20))
                   .Close()
                   .Accept()
                   .Expect("second")
                   .ExpectClosed());
  std::vector<Reply> replies;
  {
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    CReplyFramer framer(NonReplyLines::Show);
    int error = 0;
    for (std::string bytes; !(bytes = client.Receive(error)).empty();) {
      framer.Feed(bytes);
      for (Reply reply; framer.Next(reply) == ReplyStatus::Complete;) {
        replies.push_back(reply);
        if (reply.code == 220) client.Send("HELP\r\n");
      }
    }
    EXPECT_EQ(error, 0);
  }
  {
    Client second(server.port());
    second.Send("second");
  }
  EXPECT_TRUE(server.Finished());
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[1].lines, (std::vector<std::string>{"214-commands", "  QUIT", "214 end"}));
}

TEST(ScriptedServer, SaysWhereTheClientsBytesDiffered) {
  CScriptedServer server;
  server.Start(Script().Accept().Expect("USER bob\r\n").ExpectLine("PASS secret").Send("230\r\n"));
  Client client(server.port());
  client.Send("USER bob\r\nPASS secrets\r\n");
  int error = 0;
  EXPECT_EQ(client.Receive(error), "");  // reset instead of a reply
  const auto result = server.Finished();
  ASSERT_FALSE(result);
  EXPECT_STREQ(result.message(),
               ("scripted server on port " + std::to_string(server.port()) +
                ": step 3 (expect line \"PASS secret\"): differs at offset 11 (connection byte "
                "21): expected \"PASS secret\\r\\n\", received \"PASS secrets\\r\\n\"")
                   .c_str());
}

TEST(ScriptedServer, AResetReachesTheClientAsConnectionReset) {
  CScriptedServer server;
  server.Start(Script().Accept().ExpectLine("NOOP").Reset());
  Client client(server.port());
  client.Send("NOOP\r\n");
  ASSERT_TRUE(server.Finished());
  int error = 0;
  EXPECT_EQ(client.Receive(error), "");
  EXPECT_EQ(error, ECONNRESET);
}

TEST(ScriptedServer, AScriptNotFinishedByTheDeadlineFailsWithWhereItStood) {
  CScriptedServer server;
  server.Start(Script().Accept().Expect("QUIT\r\n"));
  Client client(server.port());
  client.Send("QU");
  const auto result = server.Finished(std::chrono::milliseconds(200));
  ASSERT_FALSE(result);
  EXPECT_NE(std::string(result.message())
                .find("not finished by the deadline, at step 2 (expect "
                      "\"QUIT\\r\\n\"); received for it so far: \"QU\""),
            std::string::npos)
      << result.message();
}

TEST(ScriptedServer, ExchangesDatagrams) {
  CScriptedServer server(CScriptedServer::Transport::Udp);
  server.Start(Script().ExpectDatagram("ping").SendDatagram("pong").ExpectDatagram("bad"));
  Client client(server.port(), SOCK_DGRAM);
  client.Send("ping");
  int error = 0;
  EXPECT_EQ(client.Receive(error), "pong");
  client.Send(std::string("b\0d", 3));
  const auto result = server.Finished();
  ASSERT_FALSE(result);
  EXPECT_NE(std::string(result.message()).find("expected \"bad\", received \"b\\x00d\""),
            std::string::npos)
      << result.message();
}

}  // namespace
}  // namespace netrove::test
