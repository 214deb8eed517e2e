#include "transfer/ftp_command.h"

#include <array>
#include <cstdio>

namespace netrove {
namespace {

constexpr std::array<std::string_view, kFtpCommandCount> kKeywords = {
    "OPEN", "CWD",  "DELE", "PASS", "PORT", "RETR", "STOR", "TYPE", "USER", "ACCT",
    "RNFR", "RNTO", "LIST", "NLST", "MKD",  "RMD",  "STAT", "SMNT", "APPE", "SITE",
    "ABOR", "PWD",  "QUIT", "HELP", "SYST", "CDUP", "STOU", "PASV", "NOOP"};

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

}  // namespace netrove
