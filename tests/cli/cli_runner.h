#pragma once
// Runs netrove-cli's commands with the test's NETROVE_HOME and captures what
// they print: in-process through the dispatcher, or as the built program
// (NETROVE_CLI_PROGRAM, set by the test's build).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_command.h"
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

inline CliRun RunInProcess(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  cli::CliStreams io{out, err};
  const int status = cli::RunCommandLine(args, io);
  return {status, out.str(), err.str()};
}

// The built program, started with its output going to files in the home.
class CliProcess {
 public:
  CliProcess(const ScopedHome& home, std::vector<std::string> args)
      : outFile_(home.path() / "cli.out"), errFile_(home.path() / "cli.err") {
    args.insert(args.begin(), NETROVE_CLI_PROGRAM);
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }

  ~CliProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  std::string OutputSoFar() const { return ReadFile(outFile_); }
  void Signal(int signal) const {
    if (pid_ > 0) kill(pid_, signal);
  }

  CliRun Finish() {
    CliRun run;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
      run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_ = 0;
    run.out = ReadFile(outFile_);
    run.err = ReadFile(errFile_);
    return run;
  }

 private:
  std::filesystem::path outFile_;
  std::filesystem::path errFile_;
  pid_t pid_ = 0;
};

inline CliRun RunCli(const ScopedHome& home, std::vector<std::string> args) {
  return CliProcess(home, std::move(args)).Finish();
}

}  // namespace netrove::test
