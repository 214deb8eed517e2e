// The texts shown for WinSock error codes, and the mapping of Linux errno and
// resolver results onto those codes, so every tool reports the same words.
#include <netdb.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <string_view>

#include "base/net_socket.h"
#include "base/tool_message.h"

namespace netrove {
namespace {

struct ErrorText {
  int code;
  std::string_view text;
};

// Sorted by code: the error name, a line feed, one sentence.
constexpr ErrorText kErrorTexts[] = {
    {10004, "WSAEINTR\nInterrupted system call."},
    {10009,
     "WSAEBADF\nBad file number. The specified file handle is not a valid file-handle value or "
     "does not refer to an open file; or an attempt was made to write to a file or device opened "
     "for read-only access (or vice versa)."},
    {10013, "WSAEACCES\nPermission to create the socket is denied."},
    {10014,
     "WSAEFAULT\nThe system detected an invalid address in attempting to use an argument of a "
     "call."},
    {10022, "WSAEINVAL\nAn invalid value was given for one of the arguments to a function."},
    {10024,
     "WSAEMFILE\nToo many open files. No more file handles are available, so no more files can be "
     "opened."},
    {10035,
     "WSAEWOULDBLOCK\nThe socket is marked as non-blocking (non-blocking operation mode), and the "
     "requested operation is not complete at this time."},
    {10036, "WSAEINPROGRESS\nA blocking Windows Sockets operation is in progress."},
    {10037, "WSAEALREADY\nOperation already in progress."},
    {10038, "WSAENOTSOCK\nThe descriptor is not a socket."},
    {10039, "WSAEDESTADDRREQ\nA destination address is required."},
    {10040,
     "WSAEMSGSIZE\nA message sent on a socket was larger than the internal message buffer or some "
     "other network limit."},
    {10041, "WSAEPROTOTYPE\nThe specified protocol is the wrong type for this socket."},
    {10042,
     "WSAENOPROTOOPT\nA bad option or level was specified in a getsockopt() or setsockopt() call."},
    {10043,
     "WSAEPROTONOSUPPORT\nThe protocol has not been configured into the system, or no "
     "implementation for it exists."},
    {10044,
     "WSAESOCKTNOSUPPORT\nThe specified socket type is not supported in this address family."},
    {10045, "WSAEOPNOTSUPP\nOperation not supported on socket."},
    {10046, "WSAEPFNOSUPPORT\nProtocol family not supported."},
    {10047, "WSAEAFNOSUPPORT\nAddress family not supported by protocol family."},
    {10048, "WSAEADDRINUSE\nThe specified address is already in use."},
    {10049, "WSAEADDRNOTAVAIL\nThe specified address is not available from the local machine."},
    {10050, "WSAENETDOWN\nA socket operation encountered a dead network."},
    {10051, "WSAENETUNREACH\nThe network cannot be reached from this host at this time."},
    {10052,
     "WSAENETRESET\nThe connection must be reset because the Windows Sockets implementation "
     "dropped it."},
    {10053, "WSAECONNABORTED\nThe virtual circuit was aborted due to timeout or other failure."},
    {10054, "WSAECONNRESET\nThe virtual circuit was reset by the remote side."},
    {10055, "WSAENOBUFS\nNo buffer space is available. The socket cannot be connected."},
    {10056, "WSAEISCONN\nThe socket is already connected."},
    {10057, "WSAENOTCONN\nThe socket is not connected."},
    {10058, "WSAESHUTDOWN\nThe socket has been shut down."},
    {10059, "WSAETOOMANYREFS\nToo many references, can't splice."},
    {10060, "WSAETIMEDOUT\nAttempt to connect timed out without establishing a connection."},
    {10061, "WSAECONNREFUSED\nThe attempt to connect was rejected."},
    {10062, "WSAELOOP\nToo many levels of symbolic links."},
    {10063, "WSAENAMETOOLONG\nFile name too long."},
    {10064, "WSAEHOSTDOWN\nHost is down."},
    {10065, "WSAEHOSTUNREACH\nA socket operation was attempted to an unreachable host."},
    {10066, "WSAENOTEMPTY\nDirectory not empty."},
    {10067, "WSAEPROCLIM\nToo many processes."},
    {10068, "WSAEUSERS\nToo many users."},
    {10069, "WSAEDQUOT\nDisc Quota Exceeded."},
    {10070, "WSAESTALE\nStale NFS file handle."},
    {10071, "WSAEREMOTE\nToo many levels of remote in path."},
    {10091,
     "WSASYSNOTREADY\nThe WinSock implementation cannot function at this time, because the "
     "underlying system it uses to provide network services is currently unavailable."},
    {10092,
     "WSAVERNOTSUPPORTED\nThe current WinSock implementation does not support the Windows Sockets "
     "specification version requested by the application."},
    {10093, "WSANOTINITIALISED\nSuccessful WSASTARTUP not yet performed."},
    {11001,
     "WSAHOST_NOT_FOUND\nNo such host is known. The name you have used is not an official hostname "
     "or alias. This is not a soft error, another type of name server request may be successful."},
    {11002,
     "WSATRY_AGAIN\nThis is usually a temporary error and means that the local server did not "
     "receive a response from an authoritative server. A retry at some time later may be "
     "successful."},
    {11003, "WSANO_RECOVERY\nThis is a non-recoverable error."},
    {11004,
     "WSANO_DATA\nThe requested name is valid, but does not have an Internet IP address at the "
     "name server. This is not a temporary error. This means another type of request to the name "
     "server will result in an answer."},
    // The secure layer's own failures, named as the WinSock ones are.
    {20001, "TLS_HANDSHAKE_FAILED\nThe secure connection could not be set up."},
    {20002, "TLS_CERTIFICATE_UNTRUSTED\nThe server's certificate is not trusted."},
    {20003,
     "TLS_CERTIFICATE_CHANGED\nThe server's certificate is not the one trusted before; the "
     "connection was refused."},
    {20004, "TLS_CONNECTION_FAILED\nThe secure connection failed."},
    {20005, "TLS_NOT_OFFERED\nThe server does not offer a secure connection, and one is required."},
    {20006,
     "TLS_UPGRADE_REFUSED\nThe server refused to secure the connection, and a secure connection "
     "is required."},
};

static_assert(std::is_sorted(std::begin(kErrorTexts), std::end(kErrorTexts),
                             [](const ErrorText& a, const ErrorText& b) {
                               return a.code < b.code;
                             }));

struct ErrnoCode {
  int errnoValue;
  int winsockCode;
};

// Linux errno values and the WinSock codes that mean the same.
constexpr ErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},           {EBADF, 10038},  // a closed descriptor is "not a socket" to the tools
    {EACCES, 10013},          {EPERM, 10013},
    {EFAULT, 10014},          {EINVAL, 10022},
    {EMFILE, 10024},          {ENFILE, 10024},
    {EAGAIN, 10035},          {EINPROGRESS, 10036},
    {EALREADY, 10037},        {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},      {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},      {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},   {ENETDOWN, 10050},
    {ENETUNREACH, 10051},     {ENETRESET, 10052},
    {ECONNABORTED, 10053},    {ECONNRESET, 10054},
    {EPIPE, 10054},  // sending after the peer reset the connection
    {ENOBUFS, 10055},         {ENOMEM, 10055},
    {EISCONN, 10056},         {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},       {ECONNREFUSED, 10061},
    {ELOOP, 10062},           {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},       {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},       {EUSERS, 10068},
    {EDQUOT, 10069},          {ESTALE, 10070},
    {EREMOTE, 10071},
};

}  // namespace

int WinsockErrorFromErrno(int errnoValue) {
  for (const auto& entry : kErrnoCodes) {
    if (entry.errnoValue == errnoValue) return entry.winsockCode;
  }
  return errnoValue;
}

int WinsockErrorFromResolver(int eaiValue) {
  switch (eaiValue) {
    case 0:
      return 0;
    case EAI_NONAME:
      return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
      return WSATRY_AGAIN;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return WSANO_DATA;  // the name exists without an IPv4 address
    case EAI_MEMORY:
      return WSAENOBUFS;
    case EAI_FAMILY:
      return 10047;
    case EAI_SOCKTYPE:
      return 10044;
    case EAI_BADFLAGS:
      return WSAEINVAL;
    case EAI_SYSTEM:
      return WinsockErrorFromErrno(errno);
    default:
      return WSANO_RECOVERY;  // EAI_FAIL and anything newer
  }
}

std::string SocketErrorText(int code) {
  if (code == WSABASEERR) return {};
  const auto* end = std::end(kErrorTexts);
  const auto* found =
      std::lower_bound(std::begin(kErrorTexts), end, code,
                       [](const ErrorText& entry, int c) { return entry.code < c; });
  if (found != end && found->code == code) return std::string(found->text);
  return "Unknown error: " + std::to_string(code);
}

int ReportSocketError(IMainWindowReporter& reporter, SocketStatus status) {
  if (status || status.userInterrupted()) return status.error;
  return ReportSocketError(reporter, status.error);
}

int ReportSocketError(IMainWindowReporter& reporter, SocketCount count) {
  return ReportSocketError(reporter, count.status());
}

int ReportSocketError(IMainWindowReporter& reporter, int code) {
  // 10000 is the base of the range, not an error: nothing is shown for it.
  if (code != WSABASEERR) reporter.PostToolMessage(kSourceWinSock, SocketErrorText(code));
  return code;
}

std::string ConnectErrorText(int code, const SocketAddress& lastFailed) {
  std::string text = SocketErrorText(code);
  if (lastFailed.family() != AF_UNSPEC)
    text += "\nAddress tried last: " + lastFailed.textWithPort();
  return text;
}

int ReportConnectError(IMainWindowReporter& reporter, SocketStatus status,
                       const CNetSocket& socket) {
  if (status || status.userInterrupted() || status.error == WSABASEERR) return status.error;
  reporter.PostToolMessage(kSourceWinSock,
                           ConnectErrorText(status.error, socket.LastFailedAddress()));
  return status.error;
}

}  // namespace netrove
