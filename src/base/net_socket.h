#pragma once
// The socket layer: a thin owner of one POSIX socket descriptor, name and
// service look-ups that return owned copies, the WinSock-keyed error texts and
// the Internet checksum. Every call blocks on the caller's thread; a worker
// blocked in Accept/Recv/RecvFrom is woken by Interrupt() from another thread.
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/tls.h"

namespace netrove {

class CTlsChannel;
class IMainWindowReporter;

// WinSock error codes the tools test for by number.
inline constexpr int WSABASEERR = 10000;
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEFAULT = 10014;
inline constexpr int WSAEINVAL = 10022;
inline constexpr int WSAEMFILE = 10024;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAEINPROGRESS = 10036;
inline constexpr int WSAEALREADY = 10037;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAENOTCONN = 10057;
inline constexpr int WSAESHUTDOWN = 10058;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// The smallest buffer SetBufferSize settles for: one Ethernet TCP segment.
inline constexpr int kMinimumSocketBuffer = 1460;

// errno → WinSock code (ECONNREFUSED→10061 ...); a value without a WinSock
// counterpart is returned unchanged.
int WinsockErrorFromErrno(int errnoValue);
// getaddrinfo/getnameinfo result → 11001..11004 (other EAI_ values to the
// nearest socket error).
int WinsockErrorFromResolver(int eaiValue);

// The outcome of a socket-layer call: a WinSock code, 0 for success.
struct [[nodiscard]] SocketStatus {
  int error = 0;
  explicit operator bool() const { return error == 0; }
  // The user's own interrupt: the call was woken by Interrupt() (10004) or
  // found its socket already gone (10038). Never reported.
  bool userInterrupted() const { return error == WSAEINTR || error == WSAENOTSOCK; }
};

// The outcome of a data call: the bytes moved, or the error (bytes 0).
struct [[nodiscard]] SocketCount {
  long bytes = 0;
  int error = 0;
  explicit operator bool() const { return error == 0; }
  SocketStatus status() const { return {error}; }
};

// An address of any family (sockaddr_storage), with its port. Engines that
// work over IPv4 ask isIPv4()/ipv4(); nothing else needs to know the family.
class SocketAddress {
 public:
  SocketAddress() = default;  // no address: family AF_UNSPEC
  // port in host byte order.
  static SocketAddress FromIPv4(in_addr address, std::uint16_t port = 0);
  // A copy of what a system call filled in; a length beyond the storage is cut.
  static SocketAddress FromSockaddr(const sockaddr* address, socklen_t length);

  int family() const { return storage_.ss_family; }
  bool isIPv4() const { return family() == AF_INET; }
  // The IPv4 address; 0.0.0.0 for another family.
  in_addr ipv4() const;
  std::uint16_t port() const;  // host byte order; 0 for no address
  void setPort(std::uint16_t port);
  // The address as numeric text, without the port, IPv6 in its RFC 5952
  // form with the scope of a link-local address kept ("10.1.2.3", "::1",
  // "fe80::1%eth0"); "" for no address.
  std::string text() const;
  // text() with the port: "10.1.2.3:21", "[::1]:21".
  std::string textWithPort() const;
  // A numeric address (IPv4, IPv6, scoped IPv6) read from text; nothing when
  // the text is not one. Port 0.
  static std::optional<SocketAddress> FromText(const std::string& text);

  // An IPv4-mapped IPv6 address (::ffff:10.1.2.3, as a dual-stack socket
  // reports an IPv4 peer) as the IPv4 address it is; any other unchanged.
  SocketAddress unmapped() const;
  // The same family and address (and scope), whatever the ports.
  bool sameHost(const SocketAddress& other) const;
  // sameHost and the same port.
  bool sameEndpoint(const SocketAddress& other) const {
    return sameHost(other) && port() == other.port();
  }

  const sockaddr* data() const { return reinterpret_cast<const sockaddr*>(&storage_); }
  socklen_t length() const { return length_; }
  friend bool operator==(const SocketAddress& a, const SocketAddress& b);

 private:
  friend class CNetSocket;
  sockaddr* buffer() { return reinterpret_cast<sockaddr*>(&storage_); }

  sockaddr_storage storage_{};
  socklen_t length_ = 0;
};

// One entry of a socket's error queue (IP_RECVERR, IPV6_RECVERR): the ICMP error a sent
// datagram caused.
struct QueuedSocketError {
  bool fromIcmp = false;  // an ICMP message, not a local error
  std::uint8_t type = 0;  // ICMP type and code
  std::uint8_t code = 0;
  // The message's own field: the next hop's MTU of a "too big" error, the
  // offset a parameter problem points at.
  std::uint32_t info = 0;
  SocketAddress offender;  // the host that sent the ICMP message
  // Where the datagram that caused it was going (its port: the probe's).
  SocketAddress destination;
  // The ICMP message's time-to-live (hop limit), with IP_RECVTTL
  // (IPV6_RECVHOPLIMIT) on.
  std::optional<int> answerTtl;
};

class IResolver;

// Which address families a connection by host name may use: the General
// page's choice and the command line's -4/-6.
enum class FamilyChoice { Both, IPv4Only, IPv6Only };

// One address a connection by host name tried, in the order they started.
struct ConnectAttempt {
  enum class Outcome { Connected, Failed, Abandoned };
  SocketAddress address;
  Outcome outcome = Outcome::Failed;
  int error = 0;  // the WinSock code of a failed attempt
};

// The wait before the next address is tried while the previous attempt is
// still pending, as Happy Eyeballs (RFC 8305) recommends.
inline constexpr int kConnectStaggerMs = 250;

class CNetSocket {
 public:
  CNetSocket();
  virtual ~CNetSocket();
  CNetSocket(const CNetSocket&) = delete;
  CNetSocket& operator=(const CNetSocket&) = delete;

  // A descriptor already held is closed first. The descriptor is close-on-exec
  // so an editor started by a tool inherits no socket.
  SocketStatus Create(int addressFamily, int type, int protocol);
  // Takes over a descriptor opened elsewhere (one end of a socketpair); the
  // one held before is closed.
  void Adopt(int descriptor);
  // To the any-address of the socket's family; port in host byte order.
  SocketStatus Bind(std::uint16_t port);
  SocketStatus Bind(const SocketAddress& address);
  SocketStatus Listen(int backlog);
  // A TCP connection to host: a numeric address (IPv4, IPv6, scoped IPv6)
  // or a name looked up with `resolver` (so is "255.255.255.255", which
  // inet_addr cannot tell from INADDR_NONE). Every address of the answer the
  // family choice allows is tried, in the resolver's order with the families
  // interleaved; the next starts when the previous fails or after
  // kConnectStaggerMs, the first to connect wins and becomes this socket's
  // descriptor (one held before is closed). A failure is the last failed
  // attempt's; ConnectAttempts() says which. Interrupt() ends every wait.
  // On a socket the caller opened non-blocking, only the first address of
  // its family is tried, and the caller does the waiting.
  SocketStatus Connect(const std::string& host, std::uint16_t port);
  SocketStatus Connect(const std::string& host, std::uint16_t port, IResolver& resolver);
  SocketStatus Connect(const SocketAddress& address);
  // The new descriptor goes into `into` (whose old one is closed); the
  // caller's address into `peer` when given.
  SocketStatus Accept(CNetSocket& into, SocketAddress* peer = nullptr);
  SocketStatus LocalAddress(SocketAddress& out) const;  // getsockname
  SocketStatus PeerAddress(SocketAddress& out) const;   // getpeername
  // Negotiates SO_SNDBUF/SO_RCVBUF: keeps a current size of at least
  // `wanted`, otherwise asks for `wanted`, halving it while the stack answers
  // WSAENOBUFS and it stays above max(current, 1460). `sizeInForce` is the
  // size read back afterwards, or -1 when it cannot be read; the status
  // carries a refusal other than WSAENOBUFS or the failed read.
  SocketStatus SetBufferSize(int wanted, int option, int& sizeInForce);
  // SO_RCVTIMEO in milliseconds; a receive that times out then fails with
  // WSAETIMEDOUT.
  SocketStatus SetReceiveTimeout(int milliseconds);
  // How long a blocking Connect waits for each address it tries before it
  // fails with WSAETIMEDOUT; 0 or less: as long as the system does (minutes
  // against a host that drops the attempts).
  void SetConnectTimeout(int milliseconds) { connectTimeoutMs_ = milliseconds; }
  void SetFamilyChoice(FamilyChoice choice) { familyChoice_ = choice; }
  // The attempts of the last Connect by host name.
  const std::vector<ConnectAttempt>& ConnectAttempts() const { return attempts_; }
  // The address whose attempt failed last; no address when none was tried.
  SocketAddress LastFailedAddress() const;
  SocketStatus SetOption(int level, int option, const void* value, socklen_t size);

  // Data calls with the error mapped to a WinSock code. After Interrupt()
  // they fail with WSAEINTR (also where the kernel would report an orderly
  // end). A receive or send ended by SO_RCVTIMEO/SO_SNDTIMEO fails with
  // WSAETIMEDOUT, one that would block with MSG_DONTWAIT with WSAEWOULDBLOCK.
  // A receive of 0 bytes is the peer's orderly end. Sending never raises
  // SIGPIPE.
  SocketCount Send(const void* data, std::size_t size, int flags = 0);
  SocketCount Recv(void* buffer, std::size_t size, int flags = 0);
  SocketCount SendTo(const void* data, std::size_t size, const SocketAddress& to, int flags = 0);
  SocketCount RecvFrom(void* buffer, std::size_t size, SocketAddress* from, int flags = 0);

  // Waits up to `timeoutMs` until a receive would not block or an error is
  // queued (POLLIN, POLLERR); `ready` says which came first. Interrupt()
  // ends the wait at once with WSAEINTR; a signal does not end it early.
  SocketStatus WaitReadable(int timeoutMs, bool& ready);
  // Takes one entry of the error queue without waiting; the payload of the
  // datagram that caused it (as far as it fits) goes to `quoted`, and bytes
  // says how much. WSAEWOULDBLOCK when the queue is empty.
  SocketCount RecvErrorQueue(void* quoted, std::size_t size, QueuedSocketError& entry);

  // Secures the connected socket in place: a TLS client handshake (TLS 1.2
  // at least) on the descriptor, from its first byte (implicit TLS) or after
  // plain-text exchanges (STARTTLS, AUTH TLS). Interrupt() ends it with
  // WSAEINTR; it is bounded by options.timeoutMs or else the connect
  // time-out (WSAETIMEDOUT). The certificate is verified against the system's
  // store (or options.caFile) and the host named in the options, unless a pin
  // or `insecure` decides. On failure `report` says why (for a trust failure
  // with the certificate to show) and the socket stays plain: the caller
  // closes it. Afterwards Send/Recv/WaitReadable go through the session with
  // their contracts unchanged.
  SocketStatus StartTls(const TlsClientOptions& options, TlsHandshakeReport& report);
  bool IsSecured() const { return tls_ != nullptr; }
  // The secure session, for a second connection to the same server to resume
  // (TlsClientOptions::resume); nothing on a plain socket. With TLS 1.3 the
  // server sends it after the handshake: take it after the first reply.
  std::shared_ptr<const TlsSession> TlsSessionForResumption();
  // The peer ended the secure stream with close_notify rather than by
  // closing the connection under it.
  bool TlsEndedCleanly();

  // Wakes any thread blocked on this socket (shutdown of the descriptor); the
  // descriptor stays open so its number cannot be reused under the worker.
  // Safe to call from any thread, any number of times.
  void Interrupt();
  bool Interrupted() const { return interrupted_.load(); }
  // Ends a connection abortively and wakes any thread blocked on it, as
  // Interrupt does: the peer sees a reset, never the orderly end that would
  // say everything was sent. Any thread, any number of times.
  void Reset();
  // Ends this side's sending (shutdown SHUT_WR): the peer reads its orderly
  // end while receiving goes on.
  SocketStatus ShutdownSend();
  // Closes the descriptor and forgets an earlier Interrupt(). Call only when
  // no worker uses it any more. A secure connection not interrupted says
  // close_notify first.
  void Close();
  bool IsOpen() const { return descriptor_ != kInvalidDescriptor; }

  // Live objects of this class. Linux needs no network start-up, so the
  // count only records that the first object starts the layer and the last
  // one ends it.
  static unsigned LiveCount();

 protected:
  // SOL_SOCKET getsockopt/setsockopt of an int. A seam so the buffer
  // negotiation can be tried against stacks that refuse.
  virtual SocketStatus GetIntOption(int option, int& value);
  virtual SocketStatus SetIntOption(int option, int value);

 private:
  static constexpr int kInvalidDescriptor = -1;

  void AdoptDescriptor(int descriptor);
  SocketStatus Fail(int errnoValue) const;
  int WaitForConnection();  // an errno value, 0 once connected
  SocketStatus ConnectFirstOfFamily(const std::string& host, std::uint16_t port,
                                    IResolver& resolver);
  SocketStatus RaceAddresses(const std::vector<SocketAddress>& addresses);
  // Attempt descriptors are kept where Interrupt() finds them.
  int OpenAttempt(const SocketAddress& address);
  void CloseAttempt(int descriptor);
  SocketCount Finish(long result, int flags) const;

  // Written only by Create, Adopt, Accept (of the receiving object) and
  // Close, under handleMutex_, which serialises them with Interrupt(): that
  // may come from another thread at any time.
  int descriptor_ = kInvalidDescriptor;
  int family_ = AF_UNSPEC;
  std::mutex handleMutex_;
  std::atomic<bool> interrupted_{false};
  int connectTimeoutMs_ = 0;
  FamilyChoice familyChoice_ = FamilyChoice::Both;
  std::vector<ConnectAttempt> attempts_;
  std::vector<int> pendingAttempts_;  // under handleMutex_
  int receiveTimeoutMs_ = 0;          // SO_RCVTIMEO, which a secure receive keeps itself
  std::unique_ptr<CTlsChannel> tls_;  // set by StartTls, dropped with the descriptor
};

// Host and service entries as owned copies: nothing points into the
// resolver's storage, so they stay valid across threads and later look-ups.
// The system resolver reports no aliases for hosts.
struct HostEntry {
  std::string name;
  std::vector<std::string> aliases;
  // Every address the resolver gave, in its order, of any family (ports 0).
  std::vector<SocketAddress> addresses;
};

// The addresses of an entry the choice allows, in the order to try them:
// the resolver's, with the families alternating from the first answer's.
std::vector<SocketAddress> AddressesToTry(const HostEntry& entry, FamilyChoice choice);

// The first IPv4 address of an entry; nothing when it has none.
std::optional<in_addr> FirstIPv4(const HostEntry& entry);
// How many IPv4 addresses an entry holds.
std::size_t IPv4Count(const HostEntry& entry);

struct ServiceEntry {
  std::string name;
  std::vector<std::string> aliases;
  std::uint16_t port = 0;  // network byte order
  std::string protocol;
};

// Host look-ups. An engine is handed the resolver it uses; SystemResolver()
// asks the system (getaddrinfo/getnameinfo), tests hand in a fake to produce
// answers the system will not.
class IResolver {
 public:
  virtual ~IResolver() = default;
  virtual SocketStatus HostByName(const std::string& name, HostEntry& out) = 0;
  virtual SocketStatus HostByAddr(const SocketAddress& address, HostEntry& out) = 0;
};
IResolver& SystemResolver();

// The system's look-ups.
SocketStatus GetHostByName(const std::string& name, HostEntry& out);
SocketStatus GetHostByAddr(const SocketAddress& address, HostEntry& out);
SocketStatus GetServByName(ServiceEntry& out, const std::string& service,
                           const std::string& protocol);
SocketStatus GetHostName(std::string& out);
// Dotted text of an IPv4 address.
std::string InetNtoa(in_addr address);
// inet_addr: the address in network order, or INADDR_NONE.
std::uint32_t InetAddr(const std::string& text);

// The ones'-complement Internet checksum of the bytes as the machine reads
// 16-bit words; store it in the same order. An odd last byte is padded with 0.
std::uint16_t InternetChecksum(const void* data, std::size_t size);

// The text for a WinSock code: "WSAE...\n<sentence>", "Unknown error: %ld"
// for codes not in the table, and "" for 10000 exactly.
std::string SocketErrorText(int code);
// Sends the status's text to the main window (source 1139) unless it
// succeeded or is the user's interrupt. Returns the code.
int ReportSocketError(IMainWindowReporter& reporter, SocketStatus status);
int ReportSocketError(IMainWindowReporter& reporter, SocketCount count);
// Sends a code's text whatever it is (a look-up's WSANO_DATA, a code kept
// from earlier). Returns the code.
int ReportSocketError(IMainWindowReporter& reporter, int code);
// A failed Connect by host name: the status's text followed by the address
// that failed last, when one was tried. Nothing for the user's interrupt.
int ReportConnectError(IMainWindowReporter& reporter, SocketStatus status,
                       const CNetSocket& socket);
std::string ConnectErrorText(int code, const SocketAddress& lastFailed);

}  // namespace netrove
