#pragma once
// The secure-connection and sign-in options every command that talks to a
// server with a password shares (ftp, news, mail), and where its password
// comes from: --password-file, ~/.netrc (as ftp and curl read it), or the
// terminal without echo. A password is never taken from the command line.
#include <optional>
#include <string>

#include "base/tls.h"
#include "cli/cli_command.h"

namespace netrove::cli {

inline constexpr Option kTlsOption{"tls", '\0', "MODE",
                                   "off, if-offered, required or implicit (TLS from the start)"};
inline constexpr Option kCaCertOption{"cacert", '\0', "FILE",
                                      "trust the certificates in FILE instead of the system's"};
inline constexpr Option kPinOption{"pin", '\0', "SHA256",
                                   "accept the server's certificate with this SHA-256 "
                                   "fingerprint only, whoever issued it"};
inline constexpr Option kInsecureOption{
    "insecure", '\0', {}, "accept ANY certificate unchecked: anyone on the way can listen in"};
inline constexpr Option kUserOption{"user", '\0', "NAME", "sign in as NAME"};
inline constexpr Option kPasswordFileOption{"password-file", '\0', "FILE",
                                            "read the password from the first line of FILE"};

struct SecureChoices {
  TlsMode mode = TlsMode::Off;
  // caFile, pinnedSha256 and insecure as given; the engine adds host and port.
  TlsClientOptions tls;
  std::string user;
};

// The line's TLS choice (`stored` when not given) and certificate options;
// nothing, with the reason printed, when they do not make sense. --insecure
// prints its warning here.
std::optional<SecureChoices> SecureChoicesFrom(const CommandLine& line, CliStreams& io,
                                               TlsMode stored);

// Asks the terminal for a password without echoing it; nothing when there
// is no terminal. A seam so tests need no terminal.
class IPasswordPrompt {
 public:
  virtual ~IPasswordPrompt() = default;
  virtual std::optional<std::string> Ask(const std::string& prompt) = 0;
};
IPasswordPrompt& TerminalPasswordPrompt();

// The password for `user` at `host`: the first line of --password-file,
// else the ~/.netrc entry of the host (a file readable by others is refused
// with a warning), else the terminal. Nothing, with the reason printed, when
// none gives one.
std::optional<std::string> PasswordFor(const CommandLine& line, CliStreams& io,
                                       const std::string& host, const std::string& user,
                                       IPasswordPrompt& prompt = TerminalPasswordPrompt());

}  // namespace netrove::cli
