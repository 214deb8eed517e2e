#pragma once
// The reporter of the one-shot commands (daytime, qotd, whoami): the answer
// the window shows in its box is the command's output; every other box goes
// to the error stream as CliReporter prints it.
#include <iosfwd>
#include <string>

#include "cli/cli_command.h"
#include "cli/cli_reporter.h"

namespace netrove::cli {

class AnswerReporter : public IMainWindowReporter {
 public:
  AnswerReporter(int answerSource, CliStreams& io)
      : answerSource_(answerSource), io_(io), errors_(io.err) {}

  void PostToolMessage(int source, std::string text) override;
  void PostSystemError(int errorCode) override { errors_.PostSystemError(errorCode); }
  void PostAttention() override { errors_.PostAttention(); }

 private:
  int answerSource_;
  CliStreams& io_;
  CliReporter errors_;
};

}  // namespace netrove::cli
