#pragma once
// The SMTP commands the mail tester knows, numbered as its command table
// numbers them, and the line each one puts on the wire.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace netrove {

inline constexpr std::uint16_t kSmtpPort = 25;
// Mail submission with TLS from the first byte (RFC 8314), and with STARTTLS.
inline constexpr std::uint16_t kSmtpsPort = 465;
inline constexpr std::uint16_t kSubmissionPort = 587;

enum class SmtpCommand : int {
  None = 0,
  Helo = 1,
  Mail = 2,
  Rcpt = 3,
  Data = 4,
  Rset = 5,
  Send = 6,
  Soml = 7,
  Saml = 8,
  Vrfy = 9,
  Expn = 10,
  Help = 11,
  Noop = 12,
  Quit = 13,
  Turn = 14,
  // Beyond the command table the tester started with: the extended
  // greeting, the upgrade and the sign-in. AuthData is a bare line of AUTH's
  // exchange (a base64 answer to a 334), sent as its argument alone.
  Ehlo = 15,
  StartTls = 16,
  Auth = 17,
  AuthData = 18,
};

// The message sent after the go-ahead for DATA: the two header lines every
// message must have (From:, Date:), an empty line, the line "TEST - SMTP" and
// the closing dot. Without them mail programs take the message for defective.
// `sender` must be a safe argument (IsSafeSmtpArgument).
std::string FormatSmtpTestMessage(std::string_view sender, std::string_view date);
// `when` as a message's Date: shows it, in local time with its offset
// ("Thu, 10 Dec 2026 01:02:03 +0100"), whatever the locale.
std::string FormatSmtpDate(std::time_t when);

std::string_view SmtpKeyword(SmtpCommand command);

// The command's line with its argument, CR LF included ("MAIL FROM:<a@b>\r\n").
// HELP goes without its argument when it has none; None gives "".
std::string FormatSmtpCommand(SmtpCommand command, std::string_view argument);

// The longest argument the tester puts into a command, in bytes: the size
// of the Mail page's fields.
inline constexpr std::size_t kSmtpArgumentMaxBytes = 257;

// True when `text` can stand as a command's argument: at most
// kSmtpArgumentMaxBytes bytes and no CR, LF, NUL, '<' or '>'. Any of those
// would end the line or the address early and let the rest of the text
// (typed, pasted, stored or picked from the address book) be read by the
// server as commands or a whole message of its own.
bool IsSafeSmtpArgument(std::string_view text);

}  // namespace netrove
