#pragma once
// Runs the built netrove-cli (NETROVE_CLI_PROGRAM, set by the test's build)
// with the test's NETROVE_HOME and captures what it prints.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/scoped_home.h"

extern char** environ;

namespace netrove::test {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline CliRun RunCli(const ScopedHome& home, std::vector<std::string> args) {
  args.insert(args.begin(), NETROVE_CLI_PROGRAM);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const auto outFile = home.path() / "cli.out";
  const auto errFile = home.path() / "cli.err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  CliRun run;
  pid_t pid = 0;
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

}  // namespace netrove::test
