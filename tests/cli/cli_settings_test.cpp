#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/scoped_home.h"

extern char** environ;

namespace netrove {
namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class CliSettings : public ::testing::Test {
 protected:
  // Runs the built netrove-cli with the test's NETROVE_HOME.
  CliRun Run(std::vector<std::string> args) {
    args.insert(args.begin(), NETROVE_CLI_PROGRAM);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const auto outFile = home_.path() / "cli.out";
    const auto errFile = home_.path() / "cli.err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    CliRun run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      waitpid(pid, &status, 0);
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = ReadFile(outFile);
    run.err = ReadFile(errFile);
    return run;
  }

  test::ScopedHome home_;
};

TEST_F(CliSettings, SetThenGetAnyCaseAndTheFileIsRegedit4) {
  EXPECT_EQ(Run({"settings", "set", "Ping", "PacketSize", "dword:100"}).status, 0);
  const CliRun get = Run({"settings", "get", "ping", "packetsize"});
  EXPECT_EQ(get.status, 0) << get.err;
  EXPECT_EQ(get.out, "100\n");

  const std::string file = ReadFile(home_.path() / "settings.reg");
  EXPECT_TRUE(
      file.starts_with("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane Inc.\\Netrove\\Ping]\n"
                       "\"PacketSize\"=dword:00000064\n"))
      << file;
  EXPECT_EQ(Run({"settings", "export"}).out, file);
}

TEST_F(CliSettings, TextsNegativeNumbersAndMistakes) {
  EXPECT_EQ(Run({"settings", "set", "Finger", "ServerLocation", "text:host a:b"}).status, 0);
  EXPECT_EQ(Run({"settings", "get", "Finger", "ServerLocation"}).out, "host a:b\n");
  EXPECT_EQ(Run({"settings", "set", "Ping", "wpLeft", "dword:-1"}).status, 0);
  EXPECT_EQ(Run({"settings", "get", "Ping", "wpLeft"}).out, "4294967295\n");

  const CliRun missing = Run({"settings", "get", "Ping", "Nothing"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.out.empty());
  EXPECT_NE(missing.err.find("Nothing"), std::string::npos);
  EXPECT_EQ(Run({"settings", "set", "Ping", "X", "dword:4294967296"}).status, 2);
  EXPECT_EQ(Run({"settings", "set", "Ping", "X", "word:1"}).status, 2);
  EXPECT_EQ(Run({"settings", "get", "Ping"}).status, 2);

  EXPECT_EQ(Run({"settings", "delete-all"}).status, 0);
  EXPECT_EQ(Run({"settings", "get", "Finger", "ServerLocation"}).status, 1);
  EXPECT_EQ(Run({"settings", "export"}).out, "REGEDIT4\n");
}

}  // namespace
}  // namespace netrove
