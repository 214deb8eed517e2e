#include "base/net_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netdb.h>
#include <poll.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

#include "support/full_listener.h"

namespace netrove {
namespace {

using Clock = std::chrono::steady_clock;

std::uint16_t LocalPort(const CNetSocket& socket) {
  SocketAddress address;
  static_cast<void>(socket.LocalAddress(address));
  return address.port();
}

// A TCP listener on an ephemeral loopback-reachable port.
struct Listener {
  CNetSocket socket;
  std::uint16_t port = 0;
  Listener() {
    EXPECT_TRUE(socket.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    EXPECT_TRUE(socket.Bind(0));
    EXPECT_TRUE(socket.Listen(5));
    port = LocalPort(socket);
  }
};

// A port nobody listens on: bound once, then released.
std::uint16_t UnusedPort() {
  CNetSocket probe;
  static_cast<void>(probe.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  static_cast<void>(probe.Bind(0));
  return LocalPort(probe);
}

class FakeResolver : public IResolver {
 public:
  SocketStatus HostByName(const std::string& name, HostEntry& out) override {
    askedNames.push_back(name);
    if (failWith != 0) return {failWith};
    out = HostEntry{};
    out.name = name;
    out.addresses.push_back(SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)}));
    return {};
  }
  SocketStatus HostByAddr(const SocketAddress&, HostEntry&) override { return {WSAHOST_NOT_FOUND}; }
  std::vector<std::string> askedNames;
  int failWith = 0;
};

TEST(NetSocket, LoopbackConnectAcceptAndExchange) {
  Listener listener;
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(client.Connect("127.0.0.1", listener.port));

  CNetSocket server;
  SocketAddress peer;
  ASSERT_TRUE(listener.socket.Accept(server, &peer));
  EXPECT_TRUE(server.IsOpen());
  EXPECT_EQ(peer.ipv4().s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(peer.port(), LocalPort(client));
  EXPECT_EQ(peer.text(), "127.0.0.1");

  EXPECT_EQ(client.Send("hello", 5).bytes, 5);
  char buffer[16] = {};
  EXPECT_EQ(server.Recv(buffer, sizeof buffer).bytes, 5);
  EXPECT_STREQ(buffer, "hello");

  client.Close();
  EXPECT_FALSE(client.IsOpen());
  const SocketCount end = server.Recv(buffer, sizeof buffer);
  EXPECT_TRUE(end) << "the peer's orderly end is not an error";
  EXPECT_EQ(end.bytes, 0);
}

TEST(NetSocket, FailuresLeaveTheWinsockCode) {
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_EQ(client.Connect("127.0.0.1", UnusedPort()).error, WSAECONNREFUSED);

  Listener listener;
  CNetSocket second;
  ASSERT_TRUE(second.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_EQ(second.Bind(listener.port).error, WSAEADDRINUSE);

  CNetSocket never;
  EXPECT_EQ(never.Create(AF_INET, SOCK_STREAM, IPPROTO_UDP).error, 10043);  // WSAEPROTONOSUPPORT
  EXPECT_FALSE(never.IsOpen());
}

TEST(NetSocket, OnlyTheAllOnesAddressIsResolvedAsAName) {
  FakeResolver resolver;
  Listener listener;

  CNetSocket dotted;
  ASSERT_TRUE(dotted.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_TRUE(dotted.Connect("127.0.0.1", listener.port, resolver));
  EXPECT_TRUE(resolver.askedNames.empty());

  // inet_addr cannot tell 255.255.255.255 from INADDR_NONE; the fake
  // answers with loopback, so the connection proves its answer was used.
  CNetSocket allOnes;
  ASSERT_TRUE(allOnes.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_TRUE(allOnes.Connect("255.255.255.255", listener.port, resolver));
  EXPECT_EQ(resolver.askedNames, std::vector<std::string>{"255.255.255.255"});
}

TEST(NetSocket, UnresolvableHostMakesNoConnectionAttempt) {
  FakeResolver resolver;
  resolver.failWith = WSANO_DATA;

  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_EQ(client.Connect("mail.example", 25, resolver).error, WSANO_DATA);
  SocketAddress peer;
  EXPECT_FALSE(client.PeerAddress(peer));
}

// Runs `blockingCall` on a worker, interrupts `socket` once the worker had
// time to block, and returns how long the worker took to end after that.
template <typename Call>
std::chrono::microseconds InterruptBlockedCall(CNetSocket& socket, Call blockingCall) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    blockingCall();
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(done.load()) << "the call did not block";
  const auto start = Clock::now();
  socket.Interrupt();
  worker.join();
  const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
  std::cout << "woken after " << elapsed.count() << " us\n";
  return elapsed;
}

TEST(NetSocketInterrupt, WakesABlockedAccept) {
  Listener listener;
  SocketStatus accepted;
  CNetSocket into;
  const auto elapsed =
      InterruptBlockedCall(listener.socket, [&] { accepted = listener.socket.Accept(into); });
  EXPECT_FALSE(accepted);
  EXPECT_EQ(accepted.error, WSAEINTR);
  EXPECT_TRUE(accepted.userInterrupted());
  EXPECT_LT(elapsed, std::chrono::seconds(1));
  EXPECT_TRUE(listener.socket.Interrupted());
}

TEST(NetSocketInterrupt, WakesABlockedRecvFromOnAnUnconnectedDatagramSocket) {
  CNetSocket datagram;
  ASSERT_TRUE(datagram.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  ASSERT_TRUE(datagram.Bind(0));
  SocketCount received{-1, 0};
  const auto elapsed = InterruptBlockedCall(datagram, [&] {
    char buffer[512];
    SocketAddress from;
    received = datagram.RecvFrom(buffer, sizeof buffer, &from);
  });
  EXPECT_EQ(received.bytes, 0);
  EXPECT_EQ(received.error, WSAEINTR);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

TEST(NetSocketInterrupt, WakesABlockedRecvAsAnInterruptionNotAnEnd) {
  Listener listener;
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(client.Connect("127.0.0.1", listener.port));
  SocketCount received{-1, 0};
  const auto elapsed = InterruptBlockedCall(client, [&] {
    char buffer[64];
    received = client.Recv(buffer, sizeof buffer);
  });
  EXPECT_EQ(received.bytes, 0);
  EXPECT_EQ(received.error, WSAEINTR);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

TEST(NetSocketInterrupt, WakesAConnectionAttemptThatGetsNoAnswer) {
  // A listener whose accept queue is full drops further SYNs, so the next
  // Connect waits for a retransmission that comes seconds later.
  CNetSocket listener;
  ASSERT_TRUE(listener.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(listener.Bind(0));
  ASSERT_TRUE(listener.Listen(0));
  CNetSocket queued;  // fills the queue; non-blocking so it cannot hang the test
  ASSERT_TRUE(queued.Create(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, IPPROTO_TCP));
  EXPECT_EQ(queued.Connect("127.0.0.1", LocalPort(listener)).error, WSAEINPROGRESS);
  SocketAddress peer;
  for (int tries = 0; tries < 500 && !queued.PeerAddress(peer); ++tries)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(queued.PeerAddress(peer)) << "the queued connection completes";
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  SocketStatus connected;
  const auto elapsed = InterruptBlockedCall(
      client, [&] { connected = client.Connect("127.0.0.1", LocalPort(listener)); });
  EXPECT_FALSE(connected);
  EXPECT_EQ(connected.error, WSAEINTR);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

TEST(NetSocketInterrupt, AnEarlierInterruptStopsLaterCallsAndCloseForgetsIt) {
  Listener listener;
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  client.Interrupt();  // before the connection attempt has started
  EXPECT_EQ(client.Connect("127.0.0.1", listener.port).error, WSAEINTR);
  char byte = 'x';
  const SocketCount sent = client.Send(&byte, 1);
  EXPECT_FALSE(sent);
  EXPECT_EQ(sent.error, WSAEINTR);

  client.Close();
  EXPECT_FALSE(client.Interrupted());
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_TRUE(client.Connect("127.0.0.1", listener.port));
}

TEST(NetSocket, ReceiveTimeoutGivesTimedOutAndNonBlockingGivesWouldBlock) {
  CNetSocket datagram;
  ASSERT_TRUE(datagram.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  ASSERT_TRUE(datagram.Bind(0));
  ASSERT_TRUE(datagram.SetReceiveTimeout(50));
  char buffer[16];
  EXPECT_EQ(datagram.RecvFrom(buffer, sizeof buffer, nullptr).error, WSAETIMEDOUT);
  EXPECT_EQ(datagram.Recv(buffer, sizeof buffer, MSG_DONTWAIT).error, WSAEWOULDBLOCK);
  EXPECT_FALSE(datagram.SetReceiveTimeout(-1));
}

TEST(NetSocket, DatagramsCarryTheSendersAddress) {
  CNetSocket receiver;
  CNetSocket sender;
  ASSERT_TRUE(receiver.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  ASSERT_TRUE(receiver.Bind(0));
  ASSERT_TRUE(sender.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  const auto to = SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)}, LocalPort(receiver));
  EXPECT_EQ(sender.SendTo("ping", 4, to).bytes, 4);
  char buffer[16] = {};
  SocketAddress from;
  EXPECT_EQ(receiver.RecvFrom(buffer, sizeof buffer, &from).bytes, 4);
  EXPECT_EQ(from.port(), LocalPort(sender));
}

TEST(NetSocket, LiveCountFollowsObjectsWithOrWithoutADescriptor) {
  const unsigned before = CNetSocket::LiveCount();
  {
    CNetSocket unopened;  // its destruction closes nothing and still counts down
    auto opened = std::make_unique<CNetSocket>();
    ASSERT_TRUE(opened->Create(AF_INET, SOCK_DGRAM, 0));
    EXPECT_EQ(CNetSocket::LiveCount(), before + 2);
    opened.reset();
    EXPECT_EQ(CNetSocket::LiveCount(), before + 1);
  }
  EXPECT_EQ(CNetSocket::LiveCount(), before);
}

// A socket whose buffer options come from a scripted stack.
class ScriptedOptionsSocket : public CNetSocket {
 public:
  int current = 8192;
  int largestAccepted = 1 << 30;
  int refusal = WSAENOBUFS;
  std::vector<int> requested;

 protected:
  SocketStatus GetIntOption(int, int& value) override {
    value = current;
    return {};
  }
  SocketStatus SetIntOption(int, int value) override {
    requested.push_back(value);
    if (value > largestAccepted) return {refusal};
    current = value;
    return {};
  }
};

// The size SetBufferSize leaves in force, and in `status` what it said.
int SizeAfter(CNetSocket& socket, int wanted, int option, SocketStatus* status = nullptr) {
  int size = 0;
  const SocketStatus said = socket.SetBufferSize(wanted, option, size);
  if (status != nullptr) *status = said;
  return size;
}

TEST(NetSocketBuffers, HalvesWhileTheStackHasNoBufferSpace) {
  ScriptedOptionsSocket socket;
  socket.current = 4096;
  socket.largestAccepted = 8192;
  EXPECT_EQ(SizeAfter(socket, 16384, SO_RCVBUF), 8192);
  EXPECT_EQ(socket.requested, (std::vector<int>{16384, 8192}));
}

TEST(NetSocketBuffers, KeepsALargerCurrentSizeWithoutAsking) {
  ScriptedOptionsSocket socket;
  socket.current = 32768;
  EXPECT_EQ(SizeAfter(socket, 16384, SO_RCVBUF), 32768);
  EXPECT_TRUE(socket.requested.empty());
}

TEST(NetSocketBuffers, StopsAtTheFloorOrAtAnyOtherRefusal) {
  ScriptedOptionsSocket small;
  small.current = 1000;
  small.largestAccepted = 0;
  EXPECT_EQ(SizeAfter(small, 5000, SO_SNDBUF), 1000);
  // 5000, 2500, then 1250 is not above the 1460 floor.
  EXPECT_EQ(small.requested, (std::vector<int>{5000, 2500}));

  ScriptedOptionsSocket refusing;
  refusing.largestAccepted = 0;
  refusing.refusal = WSAEINVAL;
  SocketStatus status;
  EXPECT_EQ(SizeAfter(refusing, 65536, SO_SNDBUF, &status), 8192);
  EXPECT_EQ(refusing.requested, std::vector<int>{65536});
  EXPECT_EQ(status.error, WSAEINVAL);
}

TEST(NetSocketBuffers, RealSocketReportsTheSizeInForce) {
  CNetSocket socket;
  ASSERT_TRUE(socket.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_GE(SizeAfter(socket, 16384, SO_RCVBUF), 16384);
  CNetSocket unopened;
  SocketStatus status;
  EXPECT_EQ(SizeAfter(unopened, 16384, SO_RCVBUF, &status), -1);
  EXPECT_EQ(status.error, WSAENOTSOCK);
}

TEST(InternetChecksum, PadsAnOddLastByteWithZero) {
  const unsigned char odd[] = {0x45, 0x00, 0x1c, 0x46, 0x40};
  const unsigned char padded[] = {0x45, 0x00, 0x1c, 0x46, 0x40, 0x00};
  EXPECT_EQ(InternetChecksum(odd, sizeof odd), InternetChecksum(padded, sizeof padded));
  const unsigned char single[] = {0xAB};
  std::uint16_t expected = 0;
  std::memcpy(&expected, "\xAB\x00", 2);
  EXPECT_EQ(InternetChecksum(single, 1), static_cast<std::uint16_t>(~expected));
  EXPECT_EQ(InternetChecksum(nullptr, 0), 0xFFFF);
}

TEST(InternetChecksum, ABufferHoldingItsOwnChecksumSumsToZero) {
  // An echo request: type 8, code 0, checksum, identifier, sequence, odd data.
  for (std::size_t dataSize : {0u, 1u, 5u, 56u, 1471u}) {
    std::vector<unsigned char> packet(8 + dataSize);
    packet[0] = 8;
    for (std::size_t i = 4; i < packet.size(); ++i) packet[i] = static_cast<unsigned char>(i * 37);
    const std::uint16_t checksum = InternetChecksum(packet.data(), packet.size());
    std::memcpy(&packet[2], &checksum, 2);
    EXPECT_EQ(InternetChecksum(packet.data(), packet.size()), 0) << dataSize;
  }
}

TEST(InternetChecksum, LongBuffersDoNotOverflowTheSum) {
  // Every word is 0xFFFF, ones'-complement zero, at any length; a 32-bit sum
  // would wrap after 65537 words.
  const std::vector<unsigned char> ones(200000, 0xFF);
  EXPECT_EQ(InternetChecksum(ones.data(), ones.size()), 0);
}

TEST(NameLookup, LoopbackNamesAndAddresses) {
  HostEntry entry;
  ASSERT_TRUE(GetHostByName("localhost", entry));
  EXPECT_FALSE(entry.name.empty());
  ASSERT_FALSE(entry.addresses.empty());
  const auto ipv4 = FirstIPv4(entry);
  ASSERT_TRUE(ipv4.has_value());
  EXPECT_EQ(ipv4->s_addr, htonl(INADDR_LOOPBACK));

  // Every address the system gives, in its order, each once.
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* answers = nullptr;
  ASSERT_EQ(getaddrinfo("localhost", nullptr, &hints, &answers), 0);
  std::vector<std::string> expected;
  for (const addrinfo* answer = answers; answer != nullptr; answer = answer->ai_next) {
    const std::string text =
        SocketAddress::FromSockaddr(answer->ai_addr, answer->ai_addrlen).text();
    if (std::find(expected.begin(), expected.end(), text) == expected.end())
      expected.push_back(text);
  }
  freeaddrinfo(answers);
  std::vector<std::string> found;
  for (const SocketAddress& address : entry.addresses) found.push_back(address.text());
  EXPECT_EQ(found, expected);

  const auto loopback = SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)});
  HostEntry reverse;
  ASSERT_TRUE(GetHostByAddr(loopback, reverse));
  EXPECT_FALSE(reverse.name.empty());
  ASSERT_EQ(reverse.addresses.size(), 1u);
  EXPECT_EQ(reverse.addresses[0], loopback);

  std::string hostName;
  EXPECT_TRUE(GetHostName(hostName));
  EXPECT_FALSE(hostName.empty());
}

TEST(NameLookup, DottedTextConversions) {
  EXPECT_EQ(InetAddr("10.1.2.3"), htonl(0x0A010203));
  EXPECT_EQ(InetAddr("255.255.255.255"), INADDR_NONE);
  EXPECT_EQ(InetAddr("news.example"), INADDR_NONE);
  EXPECT_EQ(InetNtoa(in_addr{htonl(0xC0A80001)}), "192.168.0.1");
}

TEST(NameLookup, ServiceEntriesFromTheServicesDatabase) {
  struct stat info {};
  if (stat("/etc/services", &info) != 0) GTEST_SKIP() << "no /etc/services (package netbase)";
  ServiceEntry entry;
  ASSERT_TRUE(GetServByName(entry, "ftp", "tcp"));
  EXPECT_EQ(entry.port, htons(21));
  EXPECT_EQ(entry.protocol, "tcp");
  EXPECT_EQ(GetServByName(entry, "no-such-service", "tcp").error, WSANO_DATA);
}

// A resolver that answers every name with the addresses it was given.
class ListResolver : public IResolver {
 public:
  explicit ListResolver(std::vector<SocketAddress> addresses) : addresses_(std::move(addresses)) {}
  SocketStatus HostByName(const std::string& name, HostEntry& out) override {
    out = {name, {}, addresses_};
    return {};
  }
  SocketStatus HostByAddr(const SocketAddress&, HostEntry&) override { return {WSANO_DATA}; }

 private:
  std::vector<SocketAddress> addresses_;
};

SocketAddress Ipv6Loopback() {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  return SocketAddress::FromSockaddr(reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

std::vector<ConnectAttempt::Outcome> Outcomes(const CNetSocket& socket) {
  std::vector<ConnectAttempt::Outcome> outcomes;
  for (const ConnectAttempt& attempt : socket.ConnectAttempts())
    outcomes.push_back(attempt.outcome);
  return outcomes;
}

using Outcome = ConnectAttempt::Outcome;

TEST(DualStackConnect, ASilentIPv6AddressDoesNotHoldUpTheIPv4One) {
  test::CFullListener silent(AF_INET6);
  if (!silent.ready()) GTEST_SKIP() << "no IPv6 loopback here";
  SocketAddress working = SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)});
  SocketAddress blackhole = Ipv6Loopback();
  ListResolver resolver({blackhole, working});
  // Both listen on the same port number, so the resolver's answers need one.
  CNetSocket second;
  ASSERT_TRUE(second.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  const std::uint16_t port = silent.port();
  if (!second.Bind(SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)}, port)))
    GTEST_SKIP() << "port " << port << " taken on IPv4";
  ASSERT_TRUE(second.Listen(1));

  CNetSocket client;  // no connect time-out: only the stagger can move on
  ASSERT_TRUE(client.Connect("dual.example", port, resolver));
  EXPECT_EQ(Outcomes(client), (std::vector{Outcome::Abandoned, Outcome::Connected}));
  EXPECT_EQ(client.ConnectAttempts()[0].address.text(), "::1");
  SocketAddress peer;
  ASSERT_TRUE(client.PeerAddress(peer));
  EXPECT_EQ(peer.textWithPort(), "127.0.0.1:" + std::to_string(port));
  CNetSocket accepted;
  EXPECT_TRUE(second.Accept(accepted));
}

TEST(DualStackConnect, ARefusalMovesOnAndTheLastFailureIsNamed) {
  Listener listener;
  const std::uint16_t closedPort = UnusedPort();
  CNetSocket probe;
  if (!probe.Create(AF_INET6, SOCK_STREAM, IPPROTO_TCP) || !probe.Bind(Ipv6Loopback()))
    GTEST_SKIP() << "no IPv6 loopback here";
  const auto loopback = SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)});
  // Families alternate from the first answer's: ::1, 127.0.0.1, ::1 again.
  ListResolver mixed({Ipv6Loopback(), Ipv6Loopback(), loopback});
  EXPECT_EQ(AddressesToTry(HostEntry{"m", {}, {Ipv6Loopback(), Ipv6Loopback(), loopback}},
                           FamilyChoice::Both)[1],
            loopback);

  CNetSocket client;
  ASSERT_TRUE(client.Connect("mixed.example", listener.port, mixed));
  EXPECT_EQ(Outcomes(client), (std::vector{Outcome::Failed, Outcome::Connected}));
  EXPECT_EQ(client.ConnectAttempts()[0].error, WSAECONNREFUSED);

  CNetSocket refused;
  const SocketStatus status = refused.Connect("mixed.example", closedPort, mixed);
  EXPECT_EQ(status.error, WSAECONNREFUSED);
  EXPECT_EQ(Outcomes(refused), (std::vector{Outcome::Failed, Outcome::Failed, Outcome::Failed}));
  EXPECT_EQ(refused.LastFailedAddress().textWithPort(), "[::1]:" + std::to_string(closedPort));
  EXPECT_EQ(ConnectErrorText(status.error, refused.LastFailedAddress()),
            SocketErrorText(WSAECONNREFUSED) +
                "\nAddress tried last: [::1]:" + std::to_string(closedPort));
}

TEST(DualStackConnect, TheFamilyChoiceLimitsTheAddressesTried) {
  Listener listener;
  const auto loopback = SocketAddress::FromIPv4(in_addr{htonl(INADDR_LOOPBACK)});
  ListResolver mixed({Ipv6Loopback(), loopback});
  CNetSocket ipv4;
  ipv4.SetFamilyChoice(FamilyChoice::IPv4Only);
  ASSERT_TRUE(ipv4.Connect("mixed.example", listener.port, mixed));
  EXPECT_EQ(Outcomes(ipv4), std::vector{Outcome::Connected});

  ListResolver ipv6Only({Ipv6Loopback()});
  CNetSocket none;
  none.SetFamilyChoice(FamilyChoice::IPv4Only);
  EXPECT_EQ(none.Connect("six.example", listener.port, ipv6Only).error, WSANO_DATA);
  EXPECT_TRUE(none.ConnectAttempts().empty());
  CNetSocket literal;
  literal.SetFamilyChoice(FamilyChoice::IPv6Only);
  EXPECT_EQ(literal.Connect("127.0.0.1", listener.port).error, WSANO_DATA);
}

TEST(SocketAddressText, Rfc5952FormsScopesAndPorts) {
  auto text = [](const std::string& in) {
    const auto address = SocketAddress::FromText(in);
    return address ? address->text() : std::string("none");
  };
  EXPECT_EQ(text("2001:0DB8:0000:0000:0000:0000:0000:0001"), "2001:db8::1");
  EXPECT_EQ(text("2001:db8:0:1:0:0:0:1"), "2001:db8:0:1::1");
  EXPECT_EQ(text("2001:db8:0:0:1:0:0:1"), "2001:db8::1:0:0:1");
  EXPECT_EQ(text("2001:db8:0000:1:1:1:1:1"), "2001:db8:0:1:1:1:1:1");
  EXPECT_EQ(text("::ffff:10.1.2.3"), "::ffff:10.1.2.3");
  EXPECT_EQ(text("fe80::1%lo"), "fe80::1%lo");
  EXPECT_EQ(text("fe80::1%no-such-interface"), "none");
  EXPECT_EQ(text("10.1"), "10.0.0.1");
  EXPECT_EQ(text("mail.example"), "none");
  auto scoped = SocketAddress::FromText("fe80::1%lo");
  ASSERT_TRUE(scoped);
  scoped->setPort(21);
  EXPECT_EQ(scoped->textWithPort(), "[fe80::1%lo]:21");
}

TEST(NetSocket, Ipv6LoopbackWhereTheHostHasIt) {
  CNetSocket listener;
  if (!listener.Create(AF_INET6, SOCK_STREAM, IPPROTO_TCP) || !listener.Bind(Ipv6Loopback()))
    GTEST_SKIP() << "no IPv6 loopback here";
  ASSERT_TRUE(listener.Listen(1));
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET6, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(client.Connect("::1", LocalPort(listener)));
  CNetSocket server;
  SocketAddress peer;
  ASSERT_TRUE(listener.Accept(server, &peer));
  EXPECT_EQ(peer.family(), AF_INET6);
  EXPECT_EQ(peer.text(), "::1");
  EXPECT_EQ(peer.port(), LocalPort(client));
}

}  // namespace
}  // namespace netrove
