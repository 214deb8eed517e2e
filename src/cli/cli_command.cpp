#include "cli/cli_command.h"

#include <algorithm>
#include <charconv>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace netrove::cli {
namespace {

// Function-local so registrars in other translation units may run first.
std::vector<Command>& Registry() {
  static std::vector<Command> commands;
  return commands;
}

std::optional<std::int32_t> ParseNumber(std::string_view text) {
  std::int32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// "-44" is a negative number (a year B.C., a coordinate), not an option.
bool LooksLikeOption(std::string_view arg) {
  return arg.size() > 1 && arg[0] == '-' && (arg[1] < '0' || arg[1] > '9');
}

bool AsksForHelp(std::span<const std::string> args) {
  for (const auto& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

// The texts here are streamed, not added: GCC 12 at -O2 takes `"..." +
// std::string` for an overlapping copy (-Wrestrict).
template <class... Parts>
std::string Joined(const Parts&... parts) {
  std::ostringstream text;
  (text << ... << parts);
  return text.str();
}

std::string UsageLine(const Command& command) {
  return Joined("Usage: netrove-cli ", command.name, command.options.empty() ? "" : " [options]",
                command.operands.empty() ? "" : " ", command.operands);
}

std::string OptionColumn(const Option& option) {
  const char shortForm[] = {'-', option.shortName, ',', ' ', '\0'};
  return Joined(option.shortName != '\0' ? shortForm : "    ", "--", option.name,
                option.valueName.empty() ? "" : " ", option.valueName);
}

void PrintCommandHelp(const Command& command, std::ostream& out) {
  out << UsageLine(command) << "\n" << command.summary << "\n\nOptions:\n";
  std::vector<std::pair<std::string, std::string>> rows;
  for (const Option& option : command.options) {
    std::string help(option.help);
    if (option.range) {
      help = Joined(help, " (", option.range->minimum, " to ", option.range->maximum, ")");
    }
    rows.emplace_back(OptionColumn(option), std::move(help));
  }
  rows.emplace_back("-h, --help", "print this help");
  std::size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  for (const auto& [column, help] : rows) {
    out << "  " << column << std::string(width - column.size() + 2, ' ') << help << "\n";
  }
  if (!command.notes.empty()) out << "\n" << command.notes;
}

void PrintCommandList(std::ostream& out) {
  out << "Usage: netrove-cli COMMAND [options] [arguments]\n\nCommands:\n";
  std::size_t width = 0;
  for (const auto& command : Registry()) width = std::max(width, command.name.size());
  for (const auto& command : Registry()) {
    out << "  " << command.name << std::string(width - command.name.size() + 2, ' ')
        << command.summary << "\n";
  }
  out << "\nnetrove-cli COMMAND --help shows the options of one command.\n";
}

}  // namespace

// Reads a command line against one command's table; the first problem found
// is kept in error().
class CommandLineParser {
 public:
  explicit CommandLineParser(const Command& command) : command_(command) {
    line_.options_ = command.options;
  }

  std::optional<CommandLine> Parse(std::span<const std::string> args) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size() && error_.empty(); ++i) {
      if (!optionsEnded && args[i] == "--") {
        optionsEnded = true;
      } else if (optionsEnded || !(LooksLikeOption(args[i]) || IsDigitOption(args[i]))) {
        line_.operands_.push_back(args[i]);
      } else {
        TakeOption(args, i);
      }
    }
    if (error_.empty()) CheckOperandCount();
    if (!error_.empty()) return std::nullopt;
    return std::move(line_);
  }

  const std::string& error() const { return error_; }

 private:
  // "-4" and "-6" are the address-family options where the table has them.
  bool IsDigitOption(std::string_view arg) const {
    return arg.size() == 2 && arg[0] == '-' && FindShort(arg[1]) != nullptr;
  }

  void TakeOption(std::span<const std::string> args, std::size_t& i) {
    const std::string& arg = args[i];
    std::optional<std::string> attached;  // "--count=5", "-c5"
    const Option* option = nullptr;
    if (arg.starts_with("--")) {
      const auto equals = arg.find('=');
      if (equals != std::string::npos) attached = arg.substr(equals + 1);
      option = FindLong(std::string_view(arg).substr(
          2, equals == std::string::npos ? std::string::npos : equals - 2));
    } else {
      option = FindShort(arg[1]);
      if (option != nullptr && arg.size() > 2) attached = arg.substr(2);
    }
    if (option == nullptr) {
      error_ = Joined("unknown option '", arg, "'");
    } else if (option->valueName.empty()) {
      if (attached) error_ = Joined("--", option->name, " takes no value");
      line_.given_.push_back({option->name, {}});
    } else if (attached || i + 1 < args.size()) {
      TakeValue(*option, attached ? *attached : args[++i]);
    } else {
      error_ = Joined("--", option->name, " needs a value (", option->valueName, ")");
    }
  }

  void TakeValue(const Option& option, const std::string& value) {
    if (option.range) {
      const auto number = ParseNumber(value);
      if (!number || *number < option.range->minimum || *number > option.range->maximum) {
        error_ = Joined("--", option.name, " must be a number from ", option.range->minimum, " to ",
                        option.range->maximum, ", not '", value, "'");
        return;
      }
    }
    line_.given_.push_back({option.name, value});
  }

  void CheckOperandCount() {
    const auto count = line_.operands_.size();
    if (count < command_.minimumOperands) {
      error_ = Joined("missing ", command_.operands);
    } else if (count > command_.maximumOperands) {
      error_ = Joined("unexpected argument '", line_.operands_[command_.maximumOperands], "'");
    }
  }

  const Option* FindLong(std::string_view name) const {
    for (const Option& option : command_.options) {
      if (option.name == name) return &option;
    }
    return nullptr;
  }

  const Option* FindShort(char letter) const {
    for (const Option& option : command_.options) {
      if (option.shortName == letter) return &option;
    }
    return nullptr;
  }

  const Command& command_;
  CommandLine line_;
  std::string error_;
};

const CommandLine::Given* CommandLine::Last(std::string_view option) const {
  const bool listed = std::any_of(options_.begin(), options_.end(),
                                  [&](const Option& entry) { return entry.name == option; });
  if (!listed) {
    throw std::logic_error("asked for --" + std::string(option) + ", which its table lacks");
  }
  for (auto it = given_.rbegin(); it != given_.rend(); ++it) {
    if (it->option == option) return &*it;
  }
  return nullptr;
}

bool CommandLine::Has(std::string_view option) const { return Last(option) != nullptr; }

bool CommandLine::Take(std::string_view option, std::int32_t& into) const {
  const Given* given = Last(option);
  const auto number = given != nullptr ? ParseNumber(given->value) : std::nullopt;
  if (number) into = *number;
  return number.has_value();
}

std::optional<std::string> CommandLine::Text(std::string_view option) const {
  const Given* given = Last(option);
  if (given == nullptr) return std::nullopt;
  return given->value;
}

CommandRegistrar::CommandRegistrar(const Command& command) {
  auto& commands = Registry();
  auto at = std::lower_bound(commands.begin(), commands.end(), command.name,
                             [](const Command& c, std::string_view n) { return c.name < n; });
  commands.insert(at, command);
}

const std::vector<Command>& RegisteredCommands() { return Registry(); }

const Command* FindCommand(std::string_view name) {
  for (const auto& command : Registry()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

int RunCommandLine(std::span<const std::string> args, CliStreams& io) {
  if (args.empty()) {
    PrintCommandList(io.err);
    return kUsageError;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    PrintCommandList(io.out);
    return 0;
  }
  // As every program answers it: the same line as the version command.
  const Command* command = FindCommand(args[0] == "--version" ? "version" : args[0]);
  if (command == nullptr) {
    io.err << "netrove-cli: unknown command '" << args[0] << "'\n";
    PrintCommandList(io.err);
    return kUsageError;
  }
  const auto rest = args.subspan(1);
  if (AsksForHelp(rest)) {
    PrintCommandHelp(*command, io.out);
    return 0;
  }
  CommandLineParser parser(*command);
  const auto line = parser.Parse(rest);
  if (!line) io.err << "netrove-cli " << command->name << ": " << parser.error() << "\n";
  int status = kUsageError;
  try {
    if (line) status = command->run(*line, io);
  } catch (const std::logic_error& mistake) {
    io.err << "netrove-cli " << command->name << ": internal error: " << mistake.what() << "\n";
    return kInternalError;
  }
  if (status == kUsageError) {
    io.err << UsageLine(*command) << "\nTry 'netrove-cli " << command->name
           << " --help' for more.\n";
  }
  return status;
}

}  // namespace netrove::cli
