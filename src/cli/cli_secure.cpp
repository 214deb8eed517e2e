#include "cli/cli_secure.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>

#include "base/netrc.h"

namespace netrove::cli {
namespace {

// Reads /dev/tty with echo off, so the password shows neither on the screen
// nor in a terminal's scroll-back; a Ctrl+C while asking restores echo
// through the caller's normal end.
class CTerminalPasswordPrompt : public IPasswordPrompt {
 public:
  std::optional<std::string> Ask(const std::string& prompt) override {
    const int terminal = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (terminal < 0) return std::nullopt;
    termios saved{};
    const bool canHide = ::tcgetattr(terminal, &saved) == 0;
    if (canHide) {
      termios hidden = saved;
      hidden.c_lflag &= static_cast<tcflag_t>(~ECHO);
      hidden.c_lflag |= ECHONL;
      ::tcsetattr(terminal, TCSAFLUSH, &hidden);
    }
    (void)!::write(terminal, prompt.data(), prompt.size());
    std::string password;
    char c;
    ssize_t got;
    while ((got = ::read(terminal, &c, 1)) == 1 && c != '\n') password += c;
    if (canHide) ::tcsetattr(terminal, TCSAFLUSH, &saved);
    ::close(terminal);
    if (got < 0) return std::nullopt;
    return password;
  }
};

std::optional<std::string> FirstLineOf(const std::string& file, CliStreams& io) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    io.err << "netrove-cli: cannot read the password file " << file << ": " << std::strerror(errno)
           << "\n";
    return std::nullopt;
  }
  std::string password;
  std::getline(in, password);
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return password;
}

}  // namespace

IPasswordPrompt& TerminalPasswordPrompt() {
  static CTerminalPasswordPrompt prompt;
  return prompt;
}

std::optional<SecureChoices> SecureChoicesFrom(const CommandLine& line, CliStreams& io,
                                               TlsMode stored) {
  SecureChoices choices;
  choices.mode = stored;
  if (const auto mode = line.Text(kTlsOption.name)) {
    const auto parsed = TlsModeFromName(*mode);
    if (!parsed) {
      io.err << "netrove-cli: --tls takes off, if-offered, required or implicit, not \"" << *mode
             << "\"\n";
      return std::nullopt;
    }
    choices.mode = *parsed;
  }
  choices.tls.caFile = line.Text(kCaCertOption.name).value_or("");
  if (const auto pin = line.Text(kPinOption.name)) {
    const auto normal = NormalizeFingerprint(*pin);
    if (!normal) {
      io.err << "netrove-cli: --pin takes a SHA-256 fingerprint: 64 hex digits, colons "
                "allowed\n";
      return std::nullopt;
    }
    choices.tls.pinnedSha256 = *normal;
  }
  choices.tls.insecure = line.Has(kInsecureOption.name);
  if (choices.tls.insecure) {
    if (!choices.tls.pinnedSha256.empty()) {
      io.err << "netrove-cli: give --pin or --insecure, not both\n";
      return std::nullopt;
    }
    io.err << "netrove-cli: warning: --insecure: the server's certificate is not checked; "
              "anyone on the way can read and change this connection, passwords included\n";
  }
  choices.user = line.Text(kUserOption.name).value_or("");
  return choices;
}

std::optional<std::string> PasswordFor(const CommandLine& line, CliStreams& io,
                                       const std::string& host, const std::string& user,
                                       IPasswordPrompt& prompt) {
  if (const auto file = line.Text(kPasswordFileOption.name)) return FirstLineOf(*file, io);
  const NetrcLookup netrc = LookUpNetrc(NetrcFile(), host, user);
  if (!netrc.refusal.empty()) io.err << "netrove-cli: warning: " << netrc.refusal << "\n";
  if (netrc.found && !netrc.found->password.empty()) return netrc.found->password;
  if (auto typed = prompt.Ask("Password for " + user + "@" + host + ": ")) return typed;
  io.err << "netrove-cli: no password for " << user << "@" << host
         << ": give --password-file FILE, add the host to ~/.netrc, or run on a terminal\n";
  return std::nullopt;
}

}  // namespace netrove::cli
