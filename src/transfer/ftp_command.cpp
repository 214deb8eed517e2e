#include "transfer/ftp_command.h"

#include <array>
#include <cstdio>

namespace netrove {
namespace {

constexpr std::array<std::string_view, kFtpCommandCount> kKeywords = {
    "OPEN", "CWD",  "DELE", "PASS", "PORT", "RETR", "STOR", "TYPE", "USER", "ACCT", "RNFR",
    "RNTO", "LIST", "NLST", "MKD",  "RMD",  "STAT", "SMNT", "APPE", "SITE", "ABOR", "PWD",
    "QUIT", "HELP", "SYST", "CDUP", "STOU", "PASV", "NOOP", "EPRT", "EPSV", "FEAT", "OPTS",
    "MLSD", "SIZE", "MDTM", "MLST", "AUTH", "PBSZ", "PROT", "REST"};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string_view FtpKeyword(FtpCommand command) {
  const int index = static_cast<int>(command);
  if (index < 0 || index >= kFtpCommandCount) return {};
  return kKeywords[static_cast<std::size_t>(index)];
}

bool IsSendableArgument(FtpCommand command, std::string_view argument) {
  if (argument.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    return false;
  }
  // keyword, blank, argument, CR LF
  return FtpKeyword(command).size() + 1 + argument.size() + 2 <= kFtpMaxCommandLine;
}

std::optional<std::string> FormatFtpCommand(FtpCommand command,
                                            const std::optional<std::string>& argument) {
  const std::string_view keyword = FtpKeyword(command);
  if (keyword.empty()) return std::nullopt;
  std::string line(keyword);
  if (argument) {
    if (!IsSendableArgument(command, *argument)) return std::nullopt;
    line += ' ';
    line += *argument;
  }
  line += "\r\n";
  return line;
}

std::string PortArgument(in_addr address, std::uint16_t port) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address.s_addr);
  char line[64];
  std::snprintf(line, sizeof line, "%u,%u,%u,%u,%u,%u", bytes[0], bytes[1], bytes[2], bytes[3],
                static_cast<unsigned>(port >> 8), static_cast<unsigned>(port & 0xFF));
  return line;
}

std::string ExtendedPortArgument(const SocketAddress& address) {
  const char* family = address.family() == AF_INET6 ? "2" : "1";
  // A scope means nothing to the server, and "%" is no part of the syntax.
  std::string text = address.text();
  text = text.substr(0, text.find('%'));
  return std::string("|") + family + "|" + text + "|" + std::to_string(address.port()) + "|";
}

std::string FtpEchoLine(FtpCommand command, const std::optional<std::string>& argument) {
  std::string line(FtpKeyword(command));
  if (argument) {
    line += ' ';
    line += command == FtpCommand::Pass ? std::string("****") : *argument;
  }
  line += "\r\n";
  return line;
}

std::optional<PassiveAddress> ParsePassiveReply(std::string_view text) {
  long numbers[6];
  std::size_t at = 0;
  for (long& number : numbers) {
    const std::size_t skipFrom = at;
    while (at < text.size() && !IsDigit(text[at])) ++at;
    if (at == skipFrom || at == text.size()) return std::nullopt;
    number = 0;
    while (at < text.size() && IsDigit(text[at])) {
      number = number * 10 + (text[at++] - '0');
      if (number > 255) return std::nullopt;
    }
  }
  PassiveAddress result{};
  for (int i = 0; i < 4; ++i) result.address[i] = static_cast<std::uint8_t>(numbers[i]);
  result.port = static_cast<std::uint16_t>(numbers[4] * 256 + numbers[5]);
  return result;
}

std::optional<std::uint16_t> ParseExtendedPassiveReply(std::string_view text) {
  const std::size_t open = text.find('(');
  if (open == std::string_view::npos || text.size() - open < 6) return std::nullopt;
  const std::string_view group = text.substr(open + 1);
  const char delimiter = group[0];
  if (delimiter < 33 || delimiter > 126 || IsDigit(delimiter) || group[1] != delimiter ||
      group[2] != delimiter) {
    return std::nullopt;
  }
  unsigned long port = 0;
  std::size_t at = 3;
  for (; at < group.size() && IsDigit(group[at]); ++at) {
    port = port * 10 + static_cast<unsigned long>(group[at] - '0');
    if (port > 65535) return std::nullopt;
  }
  if (at == 3 || port == 0 || at + 1 >= group.size() || group[at] != delimiter ||
      group[at + 1] != ')') {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(port);
}

}  // namespace netrove
