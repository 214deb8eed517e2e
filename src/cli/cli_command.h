#pragma once
// The subcommands of netrove-cli and the option tables that drive them.
//
// A new subcommand is one file, src/cli/cli_<name>.cpp (the build picks up
// every cli_*.cpp), holding its option table, its run function and a
// registrar:
//
//   constexpr Option kOptions[] = {
//       {"port", 'p', "PORT", "ask this port", RangeOf(kPortRange)},  // a number
//       {"server", 's', "HOST", "ask this server"},                   // a text
//       {"verbose", 'v', {}, "list every answer"},                    // a flag
//   };
//   int RunFinger(const CommandLine& line, CliStreams& io) {
//     FingerSettings settings = ReadFingerSettings();  // the stored defaults
//     line.Take("port", settings.port);                // only where given
//     if (line.Has("verbose")) settings.verbose = true;
//     return RunTranscriptEngine<CFingerEngine>(  // cli_run.h
//         FingerRequestFrom(settings, line.operands()[0]), io,
//         [](const CFingerEngine& engine) { return engine.Answered(); },
//         SystemResolver());  // what the engine takes after the finished notice
//   }
//   const CommandRegistrar registrar(
//       {"finger", "USER@HOST", "Ask a finger server about a user.", kOptions, RunFinger, 1, 1});
//
// The table is the command's whole surface. The parser refuses an option
// the table does not list, a missing value, a number that is not one or lies
// outside its range (the range the tool's Customize page allows) and a wrong
// count of operands, with a message naming the problem, the usage line and
// exit status 2; `netrove-cli NAME --help` prints the usage built from the
// table. So a run function sees only lines that passed, and may itself
// refuse a combination (print why, return kUsageError: the usage follows).
// Stored settings a command starts from are used as stored, unchecked.
// `-h` and `--help` ask for the help of every command: no table uses them.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace netrove::cli {

struct CliStreams {
  std::ostream& out;
  std::ostream& err;
};

// Exit status for a command line that could not be understood.
inline constexpr int kUsageError = 2;
// Exit status for a command that asked for an option its table lacks.
inline constexpr int kInternalError = 70;

struct NumberRange {
  std::int32_t minimum;
  std::int32_t maximum;
};
// The range of a Customize page field (any type with minimum and maximum).
template <class Range>
constexpr NumberRange RangeOf(const Range& range) {
  return {range.minimum, range.maximum};
}

// One option: `--name VALUE`, `--name=VALUE` or `-s VALUE`.
struct Option {
  constexpr Option(std::string_view name, char shortName, std::string_view valueName,
                   std::string_view help, std::optional<NumberRange> range = std::nullopt)
      : name(name), shortName(shortName), valueName(valueName), help(help), range(range) {}

  std::string_view name;             // the long form without its dashes
  char shortName;                    // '\0', or the letter a peer tool uses for the same thing
  std::string_view valueName;        // empty for a flag; shown in the help ("N", "HOST")
  std::string_view help;             // the range is added to it
  std::optional<NumberRange> range;  // a value with a range is a number
};

// A command line that passed its command's table. Asking it for an option
// its table does not list is a mistake in the command, not in the user's
// line: it throws std::logic_error, which RunCommandLine reports as an
// internal error (exit status 70), so a misspelt name fails the first test
// that reaches it instead of reading as "not given".
class CommandLine {
 public:
  bool Has(std::string_view option) const;
  // The number given last for `option` into `into`; false, leaving `into`,
  // when the option was not given.
  bool Take(std::string_view option, std::int32_t& into) const;
  std::optional<std::string> Text(std::string_view option) const;
  const std::vector<std::string>& operands() const { return operands_; }

 private:
  friend class CommandLineParser;
  struct Given {
    std::string_view option;
    std::string value;
  };
  const Given* Last(std::string_view option) const;

  std::span<const Option> options_;  // the table the line passed
  std::vector<Given> given_;
  std::vector<std::string> operands_;
};

using RunFunction = int (*)(const CommandLine& line, CliStreams& io);

struct Command {
  Command(std::string_view name, std::string_view operands, std::string_view summary,
          std::span<const Option> options, RunFunction run, std::size_t minimumOperands = 0,
          std::size_t maximumOperands = 0, std::string_view notes = {})
      : name(name),
        operands(operands),
        summary(summary),
        options(options),
        run(run),
        minimumOperands(minimumOperands),
        maximumOperands(maximumOperands),
        notes(notes) {}

  std::string_view name;
  std::string_view operands;  // the usage after "[options]": "HOST", "list | add NAME HOST"
  std::string_view summary;   // one line for netrove-cli --help
  std::span<const Option> options;
  RunFunction run;
  std::size_t minimumOperands;
  std::size_t maximumOperands;
  std::string_view notes;  // printed below the options by --help
};

class CommandRegistrar {
 public:
  explicit CommandRegistrar(const Command& command);
};

// The commands in the order of their names.
const std::vector<Command>& RegisteredCommands();
const Command* FindCommand(std::string_view name);

// The whole command line after the program name: finds the command, parses
// its options, prints help or usage errors, runs it. Returns the exit status.
int RunCommandLine(std::span<const std::string> args, CliStreams& io);

}  // namespace netrove::cli
