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
#include <string>
#include <vector>

namespace netrove {

class IMainWindowReporter;

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;

// WinSock error codes the tools test for by number.
inline constexpr int WSAEINTR = 10004;
inline constexpr int WSAEBADF = 10009;
inline constexpr int WSAEACCES = 10013;
inline constexpr int WSAEWOULDBLOCK = 10035;
inline constexpr int WSAENOTSOCK = 10038;
inline constexpr int WSAEMSGSIZE = 10040;
inline constexpr int WSAEADDRINUSE = 10048;
inline constexpr int WSAENETUNREACH = 10051;
inline constexpr int WSAECONNABORTED = 10053;
inline constexpr int WSAECONNRESET = 10054;
inline constexpr int WSAENOBUFS = 10055;
inline constexpr int WSAETIMEDOUT = 10060;
inline constexpr int WSAECONNREFUSED = 10061;
inline constexpr int WSAEHOSTUNREACH = 10065;
inline constexpr int WSANOTINITIALISED = 10093;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSATRY_AGAIN = 11002;
inline constexpr int WSANO_RECOVERY = 11003;
inline constexpr int WSANO_DATA = 11004;

// The calling thread's last socket-layer error, as a WinSock code.
int GetLastError();
void SetLastError(int winsockCode);
// errno → WinSock code (ECONNREFUSED→10061 ...); a value without a WinSock
// counterpart is returned unchanged.
int WinsockErrorFromErrno(int errnoValue);
// getaddrinfo/getnameinfo result → 11001..11004.
int WinsockErrorFromResolver(int eaiValue);

class CNetSocket {
 public:
  CNetSocket();
  virtual ~CNetSocket();
  CNetSocket(const CNetSocket&) = delete;
  CNetSocket& operator=(const CNetSocket&) = delete;

  bool Create(int addressFamily, int type, int protocol);
  bool Bind(std::uint16_t port);  // INADDR_ANY, host byte order port
  // host: dotted address, or a name resolved with GetHostByName.
  bool Connect(const std::string& host, std::uint16_t port);
  bool Accept(CNetSocket& into, sockaddr* peer, socklen_t* peerLength);
  // Negotiates SO_SNDBUF/SO_RCVBUF; returns the size in force afterwards.
  int SetBufferSize(int wanted, int option);
  // SO_RCVTIMEO in milliseconds; a receive that times out then fails with
  // WSAETIMEDOUT. Returns false with the error set on failure.
  bool SetReceiveTimeout(int milliseconds);

  // Data calls on the descriptor with the error mapped to a WinSock code.
  // They return -1 on failure; after Interrupt() they fail with WSAEINTR.
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
  // Closes the descriptor. Call only when no worker uses it any more.
  void Close();

  // Live objects of this class (the process-wide reference count).
  static unsigned LiveCount();

  SOCKET m_hSocket = INVALID_SOCKET;

 private:
  std::atomic<bool> interrupted_{false};
};

// Host and service entries as owned copies: nothing points into the
// resolver's storage.
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
// Installs a resolver for the whole process until the guard ends.
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

std::uint16_t InternetChecksum(const void* data, std::size_t size);

// The text for a WinSock code: "WSAE...\n<sentence>", "Unknown error: %ld"
// for codes not in the table, and "" for 10000 exactly.
std::string SocketErrorText(int code);
// Sends the code's text to the main window (source 1139). Returns the code.
int ReportSocketError(IMainWindowReporter& reporter, int code);

}  // namespace netrove
