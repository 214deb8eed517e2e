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
#include <mutex>
#include <string>
#include <vector>

namespace netrove {

class IMainWindowReporter;

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;

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

// The calling thread's last socket-layer error, as a WinSock code.
int GetLastError();
void SetLastError(int winsockCode);
// errno → WinSock code (ECONNREFUSED→10061 ...); a value without a WinSock
// counterpart is returned unchanged.
int WinsockErrorFromErrno(int errnoValue);
// getaddrinfo/getnameinfo result → 11001..11004 (other EAI_ values to the
// nearest socket error).
int WinsockErrorFromResolver(int eaiValue);

class CNetSocket {
 public:
  CNetSocket();
  virtual ~CNetSocket();
  CNetSocket(const CNetSocket&) = delete;
  CNetSocket& operator=(const CNetSocket&) = delete;

  // A descriptor already held is closed first. The descriptor is close-on-exec
  // so an editor started by a tool inherits no socket.
  bool Create(int addressFamily, int type, int protocol);
  bool Bind(std::uint16_t port);  // INADDR_ANY, host byte order port
  bool Listen(int backlog);
  // host: dotted address, or a name resolved with GetHostByName (so is
  // "255.255.255.255", which inet_addr cannot tell from INADDR_NONE). The
  // wait for the peer can be ended by Interrupt().
  bool Connect(const std::string& host, std::uint16_t port);
  // The new descriptor goes into `into` (whose old one is closed). peer and
  // peerLength may be null.
  bool Accept(CNetSocket& into, sockaddr* peer, socklen_t* peerLength);
  // Negotiates SO_SNDBUF/SO_RCVBUF: keeps a current size of at least
  // `wanted`, otherwise asks for `wanted`, halving it while the stack answers
  // WSAENOBUFS and it stays above max(current, 1460). Returns the size read
  // back afterwards, or -1 when it cannot be read.
  int SetBufferSize(int wanted, int option);
  // SO_RCVTIMEO in milliseconds; a receive that times out then fails with
  // WSAETIMEDOUT. Returns false with the error set on failure.
  bool SetReceiveTimeout(int milliseconds);

  // Data calls on the descriptor with the error mapped to a WinSock code.
  // They return -1 on failure; after Interrupt() they fail with WSAEINTR
  // (also where the kernel would report an orderly end). A receive or send
  // ended by SO_RCVTIMEO/SO_SNDTIMEO fails with WSAETIMEDOUT. Sending never
  // raises SIGPIPE.
  long Send(const void* data, std::size_t size, int flags = 0);
  long Recv(void* buffer, std::size_t size, int flags = 0);
  long SendTo(const void* data, std::size_t size, const sockaddr_in& to, int flags = 0);
  long RecvFrom(void* buffer, std::size_t size, sockaddr_in* from, int flags = 0);
  bool SetOption(int level, int option, const void* value, socklen_t size);

  // Wakes any thread blocked on this socket (shutdown of the descriptor); the
  // descriptor stays open so its number cannot be reused under the worker.
  // Safe to call from any thread, any number of times.
  void Interrupt();
  bool Interrupted() const { return interrupted_.load(); }
  // Closes the descriptor and forgets an earlier Interrupt(). Call only when
  // no worker uses it any more.
  void Close();

  // Live objects of this class. Linux needs no network start-up, so the
  // count only records that the first object starts the layer and the last
  // one ends it.
  static unsigned LiveCount();

  // Written only by Create, Accept (of the receiving object) and Close.
  SOCKET m_hSocket = INVALID_SOCKET;

 protected:
  // SOL_SOCKET getsockopt/setsockopt of an int, errors as WinSock codes. A
  // seam so the buffer negotiation can be tried against stacks that refuse.
  virtual bool GetIntOption(int option, int& value, int& error);
  virtual bool SetIntOption(int option, int value, int& error);

 private:
  void AdoptDescriptor(SOCKET descriptor);
  bool Fail(int errnoValue);
  bool ConnectAddress(const sockaddr_in& address);
  int WaitForConnection();  // an errno value, 0 once connected
  long Finish(long result, int flags);

  // Serialises changes of m_hSocket with Interrupt(), which may come from
  // another thread at any time.
  std::mutex handleMutex_;
  std::atomic<bool> interrupted_{false};
};

// Host and service entries as owned copies: nothing points into the
// resolver's storage, so they stay valid across threads and later look-ups.
// The system resolver reports no aliases for hosts.
struct HostEntry {
  std::string name;
  std::vector<std::string> aliases;
  int addressType = AF_INET;
  int addressLength = 4;
  std::vector<in_addr> addresses;
};

struct ServiceEntry {
  std::string name;
  std::vector<std::string> aliases;
  std::uint16_t port = 0;  // network byte order
  std::string protocol;
};

// Resolver seam: tests install a fake to produce answers the system will not.
class IResolver {
 public:
  virtual ~IResolver() = default;
  virtual bool HostByName(const std::string& name, HostEntry& out, int& error) = 0;
  virtual bool HostByAddr(const in_addr& address, HostEntry& out, int& error) = 0;
};
// Installs a resolver for the whole process until the guard ends (tests).
class ScopedResolverOverride {
 public:
  explicit ScopedResolverOverride(IResolver& resolver);
  ~ScopedResolverOverride();
  ScopedResolverOverride(const ScopedResolverOverride&) = delete;
  ScopedResolverOverride& operator=(const ScopedResolverOverride&) = delete;

 private:
  IResolver* previous_;
};

bool GetHostByName(const std::string& name, HostEntry& out);
bool GetHostByAddr(const sockaddr_in& address, HostEntry& out);
bool GetServByName(ServiceEntry& out, const std::string& service, const std::string& protocol);
bool GetHostName(std::string& out);
bool InetNtoa(std::string& out, in_addr address);
// inet_addr: the address in network order, or INADDR_NONE.
std::uint32_t InetAddr(const std::string& text);

// The ones'-complement Internet checksum of the bytes as the machine reads
// 16-bit words; store it in the same order. An odd last byte is padded with 0.
std::uint16_t InternetChecksum(const void* data, std::size_t size);

// The text for a WinSock code: "WSAE...\n<sentence>", "Unknown error: %ld"
// for codes not in the table, and "" for 10000 exactly.
std::string SocketErrorText(int code);
// Sends the code's text to the main window (source 1139). Returns the code.
int ReportSocketError(IMainWindowReporter& reporter, int code);

}  // namespace netrove
