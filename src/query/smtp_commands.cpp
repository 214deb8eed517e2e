#include "query/smtp_commands.h"

#include <array>
#include <cstdio>

namespace netrove {
namespace {

// How a command carries its argument.
enum class LineShape { Bare, Spaced, From, To, ArgumentOnly };

struct CommandEntry {
  std::string_view keyword;
  LineShape shape;
};

constexpr std::array<CommandEntry, 19> kCommandTable{{
    {"", LineShape::Bare},
    {"HELO", LineShape::Spaced},
    {"MAIL", LineShape::From},
    {"RCPT", LineShape::To},
    {"DATA", LineShape::Bare},
    {"RSET", LineShape::Bare},
    {"SEND", LineShape::From},
    {"SOML", LineShape::From},
    {"SAML", LineShape::From},
    {"VRFY", LineShape::Spaced},
    {"EXPN", LineShape::Spaced},
    {"HELP", LineShape::Spaced},
    {"NOOP", LineShape::Bare},
    {"QUIT", LineShape::Bare},
    {"TURN", LineShape::Bare},
    {"EHLO", LineShape::Spaced},
    {"STARTTLS", LineShape::Bare},
    {"AUTH", LineShape::Spaced},
    {"AUTH-DATA", LineShape::ArgumentOnly},
}};

const CommandEntry& EntryOf(SmtpCommand command) {
  const auto index = static_cast<std::size_t>(command);
  return kCommandTable[index < kCommandTable.size() ? index : 0];
}

}  // namespace

std::string_view SmtpKeyword(SmtpCommand command) { return EntryOf(command).keyword; }

std::string FormatSmtpCommand(SmtpCommand command, std::string_view argument) {
  const CommandEntry& entry = EntryOf(command);
  if (entry.keyword.empty()) return {};
  std::string line(entry.keyword);
  switch (entry.shape) {
    case LineShape::ArgumentOnly:
      line = argument;
      break;
    case LineShape::Bare:
      break;
    case LineShape::Spaced:
      if (command != SmtpCommand::Help || !argument.empty()) {
        line += ' ';
        line += argument;
      }
      break;
    case LineShape::From:
      line += " FROM:<";
      line += argument;
      line += '>';
      break;
    case LineShape::To:
      line += " TO:<";
      line += argument;
      line += '>';
      break;
  }
  line += "\r\n";
  return line;
}

std::string FormatSmtpTestMessage(std::string_view sender, std::string_view date) {
  std::string message = "From: <";
  message += sender;
  message += ">\r\nDate: ";
  message += date;
  message += "\r\n\r\nTEST - SMTP\r\n.\r\n";
  return message;
}

std::string FormatSmtpDate(std::time_t when) {
  static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                    "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) ::gmtime_r(&when, &local);
  const long offset = local.tm_gmtoff / 60;
  const long offsetMinutes = offset < 0 ? -offset : offset;
  std::array<char, 48> text{};
  std::snprintf(text.data(), text.size(), "%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld",
                kDays[static_cast<std::size_t>(local.tm_wday) % 7], local.tm_mday,
                kMonths[static_cast<std::size_t>(local.tm_mon) % 12], local.tm_year + 1900,
                local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                offsetMinutes / 60, offsetMinutes % 60);
  return text.data();
}

bool IsSafeSmtpArgument(std::string_view text) {
  return text.size() <= kSmtpArgumentMaxBytes &&
         text.find_first_of(std::string_view("\r\n\0<>", 5)) == std::string_view::npos;
}

}  // namespace netrove
