#include "base/net_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

namespace netrove {
namespace {

using Clock = std::chrono::steady_clock;

std::uint16_t LocalPort(const CNetSocket& socket) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(socket.m_hSocket, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
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
  probe.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  probe.Bind(0);
  return LocalPort(probe);
}

class FakeResolver : public IResolver {
 public:
  bool HostByName(const std::string& name, HostEntry& out, int& error) override {
    askedNames.push_back(name);
    if (failWith != 0) {
      error = failWith;
      return false;
    }
    out = HostEntry{};
    out.name = name;
    out.addresses.push_back(in_addr{htonl(INADDR_LOOPBACK)});
    return true;
  }
  bool HostByAddr(const in_addr&, HostEntry&, int& error) override {
    error = WSAHOST_NOT_FOUND;
    return false;
  }
  std::vector<std::string> askedNames;
  int failWith = 0;
};

TEST(NetSocket, LoopbackConnectAcceptAndExchange) {
  Listener listener;
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(client.Connect("127.0.0.1", listener.port));

  CNetSocket server;
  sockaddr_in peer{};
  socklen_t peerSize = sizeof peer;
  ASSERT_TRUE(listener.socket.Accept(server, reinterpret_cast<sockaddr*>(&peer), &peerSize));
  EXPECT_NE(server.m_hSocket, INVALID_SOCKET);
  EXPECT_EQ(peer.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ntohs(peer.sin_port), LocalPort(client));

  EXPECT_EQ(client.Send("hello", 5), 5);
  char buffer[16] = {};
  EXPECT_EQ(server.Recv(buffer, sizeof buffer), 5);
  EXPECT_STREQ(buffer, "hello");

  client.Close();
  EXPECT_EQ(client.m_hSocket, INVALID_SOCKET);
  EXPECT_EQ(server.Recv(buffer, sizeof buffer), 0) << "the peer's orderly end is not an error";
}

TEST(NetSocket, FailuresLeaveTheWinsockCode) {
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_FALSE(client.Connect("127.0.0.1", UnusedPort()));
  EXPECT_EQ(GetLastError(), WSAECONNREFUSED);

  Listener listener;
  CNetSocket second;
  ASSERT_TRUE(second.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_FALSE(second.Bind(listener.port));
  EXPECT_EQ(GetLastError(), WSAEADDRINUSE);

  CNetSocket never;
  EXPECT_FALSE(never.Create(AF_INET, SOCK_STREAM, IPPROTO_UDP));
  EXPECT_EQ(never.m_hSocket, INVALID_SOCKET);
  EXPECT_EQ(GetLastError(), 10043);  // WSAEPROTONOSUPPORT
}

TEST(NetSocket, OnlyTheAllOnesAddressIsResolvedAsAName) {
  FakeResolver resolver;
  ScopedResolverOverride guard(resolver);
  Listener listener;

  CNetSocket dotted;
  ASSERT_TRUE(dotted.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_TRUE(dotted.Connect("127.0.0.1", listener.port));
  EXPECT_TRUE(resolver.askedNames.empty());

  // inet_addr cannot tell 255.255.255.255 from INADDR_NONE; the fake
  // answers with loopback, so the connection proves its answer was used.
  CNetSocket allOnes;
  ASSERT_TRUE(allOnes.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_TRUE(allOnes.Connect("255.255.255.255", listener.port));
  EXPECT_EQ(resolver.askedNames, std::vector<std::string>{"255.255.255.255"});
}

TEST(NetSocket, UnresolvableHostMakesNoConnectionAttempt) {
  FakeResolver resolver;
  resolver.failWith = WSANO_DATA;
  ScopedResolverOverride guard(resolver);

  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_FALSE(client.Connect("mail.example", 25));
  EXPECT_EQ(GetLastError(), WSANO_DATA);
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  EXPECT_NE(getpeername(client.m_hSocket, reinterpret_cast<sockaddr*>(&peer), &size), 0);
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
  bool accepted = true;
  int error = 0;
  CNetSocket into;
  const auto elapsed = InterruptBlockedCall(listener.socket, [&] {
    accepted = listener.socket.Accept(into, nullptr, nullptr);
    error = GetLastError();
  });
  EXPECT_FALSE(accepted);
  EXPECT_EQ(error, WSAEINTR);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
  EXPECT_TRUE(listener.socket.Interrupted());
}

TEST(NetSocketInterrupt, WakesABlockedRecvFromOnAnUnconnectedDatagramSocket) {
  CNetSocket datagram;
  ASSERT_TRUE(datagram.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  ASSERT_TRUE(datagram.Bind(0));
  long received = 0;
  int error = 0;
  const auto elapsed = InterruptBlockedCall(datagram, [&] {
    char buffer[512];
    sockaddr_in from{};
    received = datagram.RecvFrom(buffer, sizeof buffer, &from);
    error = GetLastError();
  });
  EXPECT_EQ(received, -1);
  EXPECT_EQ(error, WSAEINTR);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

TEST(NetSocketInterrupt, WakesABlockedRecvAsAnInterruptionNotAnEnd) {
  Listener listener;
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  ASSERT_TRUE(client.Connect("127.0.0.1", listener.port));
  long received = 0;
  int error = 0;
  const auto elapsed = InterruptBlockedCall(client, [&] {
    char buffer[64];
    received = client.Recv(buffer, sizeof buffer);
    error = GetLastError();
  });
  EXPECT_EQ(received, -1);
  EXPECT_EQ(error, WSAEINTR);
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
  queued.Connect("127.0.0.1", LocalPort(listener));
  pollfd handshake{queued.m_hSocket, POLLOUT, 0};
  ASSERT_EQ(poll(&handshake, 1, 5000), 1);
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  bool connected = true;
  int error = 0;
  const auto elapsed = InterruptBlockedCall(client, [&] {
    connected = client.Connect("127.0.0.1", LocalPort(listener));
    error = GetLastError();
  });
  EXPECT_FALSE(connected);
  EXPECT_EQ(error, WSAEINTR);
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

TEST(NetSocketInterrupt, AnEarlierInterruptStopsLaterCallsAndCloseForgetsIt) {
  Listener listener;
  CNetSocket client;
  ASSERT_TRUE(client.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  client.Interrupt();  // before the connection attempt has started
  EXPECT_FALSE(client.Connect("127.0.0.1", listener.port));
  EXPECT_EQ(GetLastError(), WSAEINTR);
  char byte = 'x';
  EXPECT_EQ(client.Send(&byte, 1), -1);
  EXPECT_EQ(GetLastError(), WSAEINTR);

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
  EXPECT_EQ(datagram.RecvFrom(buffer, sizeof buffer, nullptr), -1);
  EXPECT_EQ(GetLastError(), WSAETIMEDOUT);
  EXPECT_EQ(datagram.Recv(buffer, sizeof buffer, MSG_DONTWAIT), -1);
  EXPECT_EQ(GetLastError(), WSAEWOULDBLOCK);
  EXPECT_FALSE(datagram.SetReceiveTimeout(-1));
}

TEST(NetSocket, DatagramsCarryTheSendersAddress) {
  CNetSocket receiver;
  CNetSocket sender;
  ASSERT_TRUE(receiver.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  ASSERT_TRUE(receiver.Bind(0));
  ASSERT_TRUE(sender.Create(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(LocalPort(receiver));
  EXPECT_EQ(sender.SendTo("ping", 4, to), 4);
  char buffer[16] = {};
  sockaddr_in from{};
  EXPECT_EQ(receiver.RecvFrom(buffer, sizeof buffer, &from), 4);
  EXPECT_EQ(ntohs(from.sin_port), LocalPort(sender));
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
  bool GetIntOption(int, int& value, int&) override {
    value = current;
    return true;
  }
  bool SetIntOption(int, int value, int& error) override {
    requested.push_back(value);
    if (value > largestAccepted) {
      error = refusal;
      return false;
    }
    current = value;
    return true;
  }
};

TEST(NetSocketBuffers, HalvesWhileTheStackHasNoBufferSpace) {
  ScriptedOptionsSocket socket;
  socket.current = 4096;
  socket.largestAccepted = 8192;
  EXPECT_EQ(socket.SetBufferSize(16384, SO_RCVBUF), 8192);
  EXPECT_EQ(socket.requested, (std::vector<int>{16384, 8192}));
}

TEST(NetSocketBuffers, KeepsALargerCurrentSizeWithoutAsking) {
  ScriptedOptionsSocket socket;
  socket.current = 32768;
  EXPECT_EQ(socket.SetBufferSize(16384, SO_RCVBUF), 32768);
  EXPECT_TRUE(socket.requested.empty());
}

TEST(NetSocketBuffers, StopsAtTheFloorOrAtAnyOtherRefusal) {
  ScriptedOptionsSocket small;
  small.current = 1000;
  small.largestAccepted = 0;
  EXPECT_EQ(small.SetBufferSize(5000, SO_SNDBUF), 1000);
  // 5000, 2500, then 1250 is not above the 1460 floor.
  EXPECT_EQ(small.requested, (std::vector<int>{5000, 2500}));

  ScriptedOptionsSocket refusing;
  refusing.largestAccepted = 0;
  refusing.refusal = WSAEINVAL;
  EXPECT_EQ(refusing.SetBufferSize(65536, SO_SNDBUF), 8192);
  EXPECT_EQ(refusing.requested, std::vector<int>{65536});
  EXPECT_EQ(GetLastError(), WSAEINVAL);
}

TEST(NetSocketBuffers, RealSocketReportsTheSizeInForce) {
  CNetSocket socket;
  ASSERT_TRUE(socket.Create(AF_INET, SOCK_STREAM, IPPROTO_TCP));
  EXPECT_GE(socket.SetBufferSize(16384, SO_RCVBUF), 16384);
  CNetSocket unopened;
  EXPECT_EQ(unopened.SetBufferSize(16384, SO_RCVBUF), -1);
  EXPECT_EQ(GetLastError(), WSAENOTSOCK);
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
  EXPECT_EQ(entry.addressType, AF_INET);
  EXPECT_EQ(entry.addressLength, 4);

  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  HostEntry reverse;
  ASSERT_TRUE(GetHostByAddr(loopback, reverse));
  EXPECT_FALSE(reverse.name.empty());
  ASSERT_EQ(reverse.addresses.size(), 1u);
  EXPECT_EQ(reverse.addresses[0].s_addr, loopback.sin_addr.s_addr);

  std::string hostName;
  EXPECT_TRUE(GetHostName(hostName));
  EXPECT_FALSE(hostName.empty());
}

TEST(NameLookup, DottedTextConversions) {
  EXPECT_EQ(InetAddr("10.1.2.3"), htonl(0x0A010203));
  EXPECT_EQ(InetAddr("255.255.255.255"), INADDR_NONE);
  EXPECT_EQ(InetAddr("news.example"), INADDR_NONE);
  std::string text = "old";
  EXPECT_TRUE(InetNtoa(text, in_addr{htonl(0xC0A80001)}));
  EXPECT_EQ(text, "192.168.0.1");
}

TEST(NameLookup, ServiceEntriesFromTheServicesDatabase) {
  struct stat info {};
  if (stat("/etc/services", &info) != 0) GTEST_SKIP() << "no /etc/services (package netbase)";
  ServiceEntry entry;
  ASSERT_TRUE(GetServByName(entry, "ftp", "tcp"));
  EXPECT_EQ(entry.port, htons(21));
  EXPECT_EQ(entry.protocol, "tcp");
  EXPECT_FALSE(GetServByName(entry, "no-such-service", "tcp"));
  EXPECT_EQ(GetLastError(), WSANO_DATA);
}

TEST(NameLookup, ResolverErrorsComeBackAsTheLastError) {
  FakeResolver resolver;
  resolver.failWith = WSATRY_AGAIN;
  ScopedResolverOverride guard(resolver);
  HostEntry entry;
  EXPECT_FALSE(GetHostByName("news", entry));
  EXPECT_EQ(GetLastError(), WSATRY_AGAIN);
  sockaddr_in address{};
  EXPECT_FALSE(GetHostByAddr(address, entry));
  EXPECT_EQ(GetLastError(), WSAHOST_NOT_FOUND);
}

}  // namespace
}  // namespace netrove
