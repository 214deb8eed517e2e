#pragma once
// The FTP commands this client sends: their codes (the order of the keyword
// table, which the window and the trees also speak of), their keywords and
// the three line forms.
#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/net_socket.h"

namespace netrove {

enum class FtpCommand : int {
  Open = 0,  // also "no command"
  Cwd,
  Dele,
  Pass,
  Port,
  Retr,
  Stor,
  Type,
  User,
  Acct,
  Rnfr,
  Rnto,
  List,
  Nlst,
  Mkd,
  Rmd,
  Stat,
  Smnt,
  Appe,
  Site,
  Abor,
  Pwd,
  Quit,
  Help,
  Syst,
  Cdup,
  Stou,
  Pasv,
  Noop,
  Eprt,  // the address families' PORT and PASV (RFC 2428)
  Epsv,
  Feat,  // the extensions of RFC 2389 and 3659
  Opts,
  Mlsd,
  Size,
  Mdtm,
  Mlst,
  Auth,  // TLS on the control connection and its data connections (RFC 4217)
  Pbsz,
  Prot,
  Rest,  // restart a transfer at a byte offset (RFC 3659)
};

inline constexpr int kFtpCommandCount = 41;

// The keyword of a code; "" outside the table.
std::string_view FtpKeyword(FtpCommand command);

// A line never grows beyond this, CR LF included: the size of the buffer the
// line forms were always written into.
inline constexpr std::size_t kFtpMaxCommandLine = 2048;

// Whether an argument may go on a command line: no CR, LF or NUL (each would
// end the line early or slip in a second command) and short enough that the
// whole line fits.
bool IsSendableArgument(FtpCommand command, std::string_view argument);

// "KEYWORD ARGUMENT\r\n" or "KEYWORD\r\n"; nothing for a code outside the
// table or an argument that IsSendableArgument refuses.
std::optional<std::string> FormatFtpCommand(FtpCommand command,
                                            const std::optional<std::string>& argument);

// The PORT argument "a,b,c,d,p1,p2" for an IPv4 address and a port in host
// order: the address bytes in network order, then the port's high and low byte.
std::string PortArgument(in_addr address, std::uint16_t port);
// The EPRT argument "|1|10.1.2.3|6446|" or "|2|::1|6446|" for an address
// with its port.
std::string ExtendedPortArgument(const SocketAddress& address);

// The line the transcript shows for a command: as sent, but a password
// never appears ("PASS ****").
std::string FtpEchoLine(FtpCommand command, const std::optional<std::string>& argument);

// The port a 227 reply names: six numbers, each after at least one
// non-digit, the first four the address and the last two the port's bytes.
// Nothing when the text does not hold six numbers in range.
struct PassiveAddress {
  std::uint8_t address[4];
  std::uint16_t port;
};
std::optional<PassiveAddress> ParsePassiveReply(std::string_view text);
// The port a 229 reply names: "(|||6446|)", any printable delimiter in place
// of "|" (RFC 2428). Nothing when the text holds no such group or the port
// is 0 or beyond 65535.
std::optional<std::uint16_t> ParseExtendedPassiveReply(std::string_view text);

}  // namespace netrove
