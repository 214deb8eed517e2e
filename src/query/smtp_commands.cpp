#include "query/smtp_commands.h"

#include <array>

namespace netrove {
namespace {

// How a command carries its argument.
enum class LineShape { Bare, Spaced, From, To };

struct CommandEntry {
  std::string_view keyword;
  LineShape shape;
};

constexpr std::array<CommandEntry, 15> kCommandTable{{
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

bool IsSafeSmtpArgument(std::string_view text) {
  return text.size() <= kSmtpArgumentMaxBytes &&
         text.find_first_of(std::string_view("\r\n\0<>", 5)) == std::string_view::npos;
}

}  // namespace netrove
