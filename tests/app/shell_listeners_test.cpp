#include "app/shell_listeners.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "peer/chat_session.h"
#include "support/loopback_socket.h"
#include "support/recording_reporter.h"
#include "support/refusing_threads.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"

namespace netrove {
namespace {

using namespace std::chrono_literals;
using test::RecordingReporter;
using test::WaitUntil;

const char kAddressInUse[] = "WSAEADDRINUSE\nThe specified address is already in use.";

class RecordingEvents : public IListenerEvents {
 public:
  void ChatCallArrived(std::unique_ptr<CNetSocket> socket, const SocketAddress& caller) override {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(socket));
    callers_.push_back(caller);
  }
  void BroadcastArrived(std::string text) override {
    std::lock_guard lock(mutex_);
    broadcasts_.push_back(std::move(text));
  }
  std::size_t CallCount() {
    std::lock_guard lock(mutex_);
    return calls_.size();
  }
  std::vector<std::string> Broadcasts() {
    std::lock_guard lock(mutex_);
    return broadcasts_;
  }
  CNetSocket& Call(std::size_t index) { return *calls_.at(index); }
  std::unique_ptr<CNetSocket> TakeCall(std::size_t index) {
    std::lock_guard lock(mutex_);
    return std::move(calls_.at(index));
  }
  SocketAddress Caller(std::size_t index) { return callers_.at(index); }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<CNetSocket>> calls_;
  std::vector<SocketAddress> callers_;
  std::vector<std::string> broadcasts_;
};

using test::BoundSocket;

std::uint16_t PortOf(int descriptor) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  ::getsockname(descriptor, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

// A port free for both TCP and UDP at the moment of asking.
std::uint16_t FreePort() {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const int tcp = BoundSocket(SOCK_STREAM, 0);
    const std::uint16_t port = PortOf(tcp);
    const int udp = BoundSocket(SOCK_DGRAM, port);
    ::close(tcp);
    if (udp >= 0) {
      ::close(udp);
      return port;
    }
  }
  return 0;
}

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

void SendDatagram(std::uint16_t port, const void* data, std::size_t size) {
  const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
  const sockaddr_in to = Loopback(port);
  ::sendto(sender, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  ::close(sender);
}

TEST(BroadcastText, StopsAtTheFirstZeroOrTheReceivedBytes) {
  EXPECT_EQ(BroadcastText("hello", 5), "hello");
  EXPECT_EQ(BroadcastText("ab\0cd", 5), "ab");
  EXPECT_EQ(BroadcastText("abcdef", 3), "abc");
  EXPECT_EQ(BroadcastText("", 0), "");
  // Latin-1 from an older sender shows as its characters, UTF-8 as it is.
  EXPECT_EQ(BroadcastText("Gr\xfc\xdf"
                          "e",
                          5),
            "Gr\xc3\xbc\xc3\x9f"
            "e");
  EXPECT_EQ(BroadcastText("Gr\xc3\xbc\xc3\x9f"
                          "e",
                          7),
            "Gr\xc3\xbc\xc3\x9f"
            "e");
}

class ShellListenersTest : public ::testing::Test {
 protected:
  RecordingReporter reporter;
  RecordingEvents events;
};

TEST_F(ShellListenersTest, ChatCallIsHandedOverConnected) {
  CShellListeners listeners(reporter, events);
  const std::uint16_t port = FreePort();
  ASSERT_TRUE(listeners.StartChat(port));

  CNetSocket caller;
  ASSERT_TRUE(caller.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(caller.Connect("127.0.0.1", port));
  ASSERT_TRUE(WaitUntil([&] { return events.CallCount() == 1; }));
  EXPECT_EQ(events.Caller(0).ipv4().s_addr, htonl(INADDR_LOOPBACK));

  ASSERT_EQ(caller.Send("hi", 2).bytes, 2);
  char received[2] = {};
  EXPECT_EQ(events.Call(0).Recv(received, sizeof received).bytes, 2);
  EXPECT_EQ(std::string(received, 2), "hi");
  listeners.StopChat();
  EXPECT_TRUE(reporter.Messages().empty());
}

// What one side of a conversation received, and whether it has ended.
class ChatSide : public IChatEvents {
 public:
  void ChatReceived(std::string bytes) override {
    std::lock_guard lock(mutex_);
    received_ += bytes;
  }
  void ChatPeerClosed() override {}
  void ChatHangingUp() override {}
  void ChatEnded() override { ended = true; }
  std::string Received() {
    std::lock_guard lock(mutex_);
    return received_;
  }
  std::atomic<bool> ended{false};

 private:
  std::mutex mutex_;
  std::string received_;
};

// On every interface the chat listener is one IPv6 socket that also takes
// IPv4 calls; a caller on ::1 reaches it as itself, not as a mapped address,
// and the conversation runs both ways.
TEST_F(ShellListenersTest, ACallerOnIPv6LoopbackTalksBothWaysThroughTheListener) {
  CShellListeners listeners(reporter, events);
  const std::uint16_t port = FreePort();
  ASSERT_TRUE(listeners.StartChat(port));
  auto dialled = std::make_unique<CNetSocket>();
  ASSERT_TRUE(dialled->Connect("::1", port));
  ASSERT_TRUE(WaitUntil([&] { return events.CallCount() == 1; }));
  EXPECT_EQ(events.Caller(0).family(), AF_INET6);
  EXPECT_EQ(events.Caller(0).text(), "::1");

  ChatSide callerSide;
  ChatSide calleeSide;
  CChatSession caller(std::move(dialled), callerSide, reporter);
  CChatSession callee(events.TakeCall(0), calleeSide, reporter);
  ASSERT_TRUE(caller.Start());
  ASSERT_TRUE(callee.Start());
  ASSERT_TRUE(caller.Send("hello over six"));
  ASSERT_TRUE(WaitUntil([&] { return calleeSide.Received() == "hello over six\r\n\r\n"; }))
      << calleeSide.Received();
  ASSERT_TRUE(callee.Send("and back"));
  ASSERT_TRUE(WaitUntil([&] { return callerSide.Received() == "and back\r\n\r\n"; }))
      << callerSide.Received();
  caller.HangUp();
  ASSERT_TRUE(WaitUntil([&] { return callerSide.ended && calleeSide.ended; }));
  listeners.StopChat();
  EXPECT_TRUE(reporter.Messages().empty());
}

// A datagram longer than the block fails its receive with its error text and
// is never shown cut; the listener goes on.
TEST_F(ShellListenersTest, BroadcastsArriveAsTextOfOneBlockAndLongerOnesFail) {
  CShellListeners listeners(reporter, events);
  const std::uint16_t port = FreePort();
  ASSERT_TRUE(listeners.StartBroadcast(port));

  SendDatagram(port, "Lunch is ready", 14);
  const std::string tooLong(kBroadcastBlockSize + 1, 'x');
  SendDatagram(port, tooLong.data(), tooLong.size());
  SendDatagram(port, "one\0two", 7);
  const std::string fits(kBroadcastBlockSize, 'y');
  SendDatagram(port, fits.data(), fits.size());
  ASSERT_TRUE(WaitUntil([&] { return events.Broadcasts().size() == 3; }));
  EXPECT_EQ(events.Broadcasts(), (std::vector<std::string>{"Lunch is ready", "one", fits}));
  const auto messages = reporter.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].source, 1139);
  EXPECT_EQ(messages[0].text, SocketErrorText(WSAEMSGSIZE));
}

TEST_F(ShellListenersTest, TakenPortsAreReportedAsAddressInUse) {
  const std::uint16_t port = FreePort();
  const int tcpOwner = BoundSocket(SOCK_STREAM, port);
  ASSERT_EQ(::listen(tcpOwner, 1), 0);
  const int udpOwner = BoundSocket(SOCK_DGRAM, port);
  ASSERT_GE(udpOwner, 0);

  CShellListeners listeners(reporter, events);
  EXPECT_FALSE(listeners.StartChat(port));
  EXPECT_FALSE(listeners.StartBroadcast(port));
  const auto messages = reporter.Messages();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.source, 1139);
    EXPECT_EQ(message.text, kAddressInUse);
  }
  ::close(tcpOwner);
  ::close(udpOwner);
}

TEST_F(ShellListenersTest, ARefusedThreadIsReportedAndFreesThePort) {
  CRefusingThreads refusing;
  CShellListeners refused(reporter, events, {}, refusing);
  const std::uint16_t port = FreePort();
  EXPECT_FALSE(refused.StartChat(port));
  EXPECT_FALSE(refused.StartBroadcast(port));
  EXPECT_EQ(refusing.Attempts(), 2);
  const auto messages = reporter.Messages();
  ASSERT_EQ(messages.size(), 2u);
  for (const auto& message : messages) {
    EXPECT_EQ(message.source, kSourceSystemMessage);
    EXPECT_EQ(message.text, kNoThreadText);
  }
  CShellListeners working(reporter, events);
  EXPECT_TRUE(working.StartChat(port));
  EXPECT_TRUE(working.StartBroadcast(port));
  refused.StopChat();
}

TEST_F(ShellListenersTest, StopWakesIdleListenersAndCanRepeat) {
  CShellListeners listeners(reporter, events);
  ASSERT_TRUE(listeners.StartChat(FreePort()));
  ASSERT_TRUE(listeners.StartBroadcast(FreePort()));
  std::this_thread::sleep_for(20ms);
  listeners.StopChat();
  listeners.StopBroadcast();
  listeners.StopChat();
  EXPECT_TRUE(reporter.Messages().empty());
}

// With no descriptor left every accept fails at once while the call waits in
// the queue: the listener must say so once, not once per attempt, and take
// the call when descriptors are free again.
TEST_F(ShellListenersTest, PersistentAcceptFailureIsReportedOnceAndListeningGoesOn) {
  CShellListeners listeners(reporter, events, ListenerBackoff{5ms, 20ms});
  const std::uint16_t port = FreePort();
  ASSERT_TRUE(listeners.StartChat(port));
  const int caller = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(caller, 0);

  // UBSan checks the dynamic type of the reporter and of the events on their
  // first call through their interfaces, and that check needs a free
  // descriptor. Make those first calls now, on other objects of the same
  // types, so the starved listener thread finds the checks already done.
  test::RecordingReporter warmUpReporter;
  static_cast<IMainWindowReporter&>(warmUpReporter).PostAttention();
  RecordingEvents warmUpEvents;
  static_cast<IListenerEvents&>(warmUpEvents).ChatCallArrived(std::make_unique<CNetSocket>(), {});

  rlimit original{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
  const int next = ::dup(0);
  ::close(next);
  rlimit starved = original;
  starved.rlim_cur = static_cast<rlim_t>(next);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &starved), 0);
  const sockaddr_in to = Loopback(port);
  const int connected = ::connect(caller, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  // Several failed accepts, the first of them reported.
  const bool retried = WaitUntil([&] { return listeners.ChatFailures() >= 4; });
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &original), 0);
  ASSERT_TRUE(retried);
  ASSERT_EQ(connected, 0);

  ASSERT_TRUE(WaitUntil([&] { return events.CallCount() == 1; }));
  const auto messages = reporter.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].source, 1139);
  ::close(caller);
}

}  // namespace
}  // namespace netrove
