// The option tables: parsing, refusals and the help they print, through a
// command of the test's own and through ping and traceroute.
#include "cli/cli_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "cli_runner.h"

namespace netrove::cli {
namespace {

using test::CliRun;
using test::RunInProcess;

constexpr Option kEchoOptions[] = {
    {"number", 'n', "N", "a number", NumberRange{1, 50}},
    {"text", '\0', "WORD", "a text"},
    {"flag", 'f', {}, "a flag"},
    {"six", '6', {}, "a digit flag"},
};

// Prints what the parser handed it.
int RunEcho(const CommandLine& line, CliStreams& io) {
  std::int32_t number = 0;
  if (line.Take("number", number)) io.out << "number=" << number << ";";
  if (const auto text = line.Text("text")) io.out << "text=" << *text << ";";
  if (line.Has("flag")) io.out << "flag;";
  if (line.Has("six")) io.out << "six;";
  for (const auto& operand : line.operands()) io.out << "[" << operand << "]";
  return 0;
}

const CommandRegistrar echo({"test-echo", "ARG...", "Echo the parsed line.", kEchoOptions, RunEcho,
                             0, 2});

// Asks for an option its table does not list, as a misspelt name would.
int RunMisspelt(const CommandLine& line, CliStreams& io) {
  io.out << (line.Has("flga") ? "given" : "not given");
  return 0;
}

const CommandRegistrar misspelt({"test-typo", "", "Ask for a misspelt option.", kEchoOptions,
                                 RunMisspelt});

TEST(CliTable, AskingForAnOptionTheTableLacksIsAnInternalError) {
  const CliRun run = RunInProcess({"test-typo", "-f"});
  EXPECT_EQ(run.status, kInternalError);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("--flga"), std::string::npos) << run.err;
}

// Every option a command's source asks for by name is in that command's
// table, also on paths no other test reaches.
TEST(CliTable, EveryOptionLookUpInTheSourcesNamesAnOptionOfItsCommand) {
  const std::regex registrar(R"re(CommandRegistrar\s+\w+\(\s*\{\s*"([^"]+)")re");
  const std::regex lookUp(R"re(\.(?:Has|Take|Text)\(\s*"([^"]+)")re");
  std::size_t checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(NETROVE_CLI_SOURCES)) {
    if (entry.path().extension() != ".cpp") continue;
    const std::string source = test::ReadFile(entry.path());
    std::set<std::string_view> options;
    for (std::sregex_iterator it(source.begin(), source.end(), registrar), end; it != end; ++it) {
      const Command* command = FindCommand((*it)[1].str());
      ASSERT_NE(command, nullptr) << entry.path() << ": " << (*it)[1];
      for (const Option& option : command->options) options.insert(option.name);
    }
    if (options.empty()) {  // a helper of several commands: any command's option
      for (const Command& command : RegisteredCommands()) {
        for (const Option& option : command.options) options.insert(option.name);
      }
    }
    for (std::sregex_iterator it(source.begin(), source.end(), lookUp), end; it != end; ++it) {
      EXPECT_TRUE(options.contains((*it)[1].str()))
          << entry.path().filename() << " asks for --" << (*it)[1];
      ++checked;
    }
  }
  EXPECT_GT(checked, 20u);
}

TEST(CliTable, ParsesEveryFormTheTableAllows) {
  EXPECT_EQ(RunInProcess({"test-echo", "--number", "5", "a", "-f"}).out, "number=5;flag;[a]");
  EXPECT_EQ(RunInProcess({"test-echo", "--number=7", "-n3", "--text", "-x"}).out,
            "number=3;text=-x;");
  EXPECT_EQ(RunInProcess({"test-echo", "-44", "--", "--flag"}).out, "[-44][--flag]");
  // A digit the table names is an option; other negative numbers stay operands.
  EXPECT_EQ(RunInProcess({"test-echo", "-6", "-66", "-4"}).out, "six;[-66][-4]");
  EXPECT_EQ(RunInProcess({"test-echo", "--text=", "-n", "50"}).out, "number=50;text=;");
}

TEST(CliTable, RefusesWhatTheTableDoesNotAllowWithExitTwo) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"test-echo", "--number", "0"}, "--number must be a number from 1 to 50, not '0'"},
      {{"test-echo", "-n", "51"}, "--number must be a number from 1 to 50, not '51'"},
      {{"test-echo", "--number", "5x"}, "not '5x'"},
      {{"test-echo", "--number"}, "--number needs a value (N)"},
      {{"test-echo", "--flag=1"}, "--flag takes no value"},
      {{"test-echo", "--other"}, "unknown option '--other'"},
      {{"test-echo", "-x"}, "unknown option '-x'"},
      {{"test-echo", "a", "b", "c"}, "unexpected argument 'c'"},
      {{"ping"}, "missing HOST"},
      {{"ping", "--timeout", "0", "h"}, "--timeout must be a number from 1 to 59, not '0'"},
      {{"ping", "--count", "0", "h"}, "--count must be a number from 1 to 50, not '0'"},
      {{"ping", "--count", "-1", "h"}, "not '-1'"},
      {{"ping", "--size", "13", "h"}, "--size must be a number from 14 to 4096"},
      {{"ping", "-c", "2", "--continuous", "h"}, "--count and --continuous exclude each other"},
      {{"traceroute", "--first-ttl", "0", "h"}, "--first-ttl must be a number from 1 to 255"},
      {{"traceroute", "--first-ttl", "-3", "h"}, "not '-3'"},
      {{"traceroute", "--probes", "0", "h"}, "--probes must be a number from 1 to 20"},
      {{"traceroute", "--port", "65536", "h"}, "--port must be a number from 1 to 65535"},
      {{"traceroute", "-f", "9", "-m", "5", "h"}, "--first-ttl must not be above --max-ttl"},
  };
  for (const auto& [args, message] : cases) {
    const CliRun run = RunInProcess(args);
    EXPECT_EQ(run.status, kUsageError) << args[1];
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(run.err.starts_with("netrove-cli " + args[0] + ": ")) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\nUsage: netrove-cli " + args[0]), std::string::npos) << run.err;
  }
}

TEST(CliTable, HelpIsBuiltFromTheTables) {
  const CliRun list = RunInProcess({"--help"});
  EXPECT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("\n  ping        Send ICMP echo requests"), std::string::npos)
      << list.out;
  EXPECT_NE(list.out.find("\n  traceroute  List the routers"), std::string::npos);

  const CliRun ping = RunInProcess({"ping", "--help"});
  EXPECT_EQ(ping.status, 0);
  EXPECT_TRUE(ping.out.starts_with("Usage: netrove-cli ping [options] HOST\n")) << ping.out;
  EXPECT_NE(ping.out.find("\n  -c, --count N          send N requests, then stop (1 to 50)\n"
                          "      --continuous       send until Ctrl+C\n"),
            std::string::npos)
      << ping.out;
  const CliRun trace = RunInProcess({"traceroute", "-q", "0", "--help"});
  EXPECT_EQ(trace.status, 0);
  EXPECT_NE(trace.out.find("  -f, --first-ttl N "), std::string::npos) << trace.out;
  EXPECT_NE(trace.out.find("(1 to 255)"), std::string::npos);
  EXPECT_EQ(RunInProcess({"version", "--help"}).out.find("Usage: netrove-cli version\n"), 0u);
  EXPECT_EQ(RunInProcess({"frobnicate"}).status, kUsageError);
}

TEST(CliTable, VersionOptionPrintsTheVersionLine) {
  const CliRun version = RunInProcess({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Netrove - Version 3.00 (Build 55).\n");
  EXPECT_EQ(RunInProcess({"version"}).out, version.out);
}

}  // namespace
}  // namespace netrove::cli
