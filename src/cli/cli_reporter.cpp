#include "cli/cli_reporter.h"

#include <ostream>

namespace netrove::cli {

CliReporter::CliReporter(std::ostream& err) : err_(err) {}

void CliReporter::PostToolMessage(int source, std::string text) { PrintBox(source, text); }

void CliReporter::PostSystemError(int errorCode) {
  PrintBox(kSourceSystemMessage, SystemErrorText(errorCode));
}

void CliReporter::PostAttention() {
  std::lock_guard lock(mutex_);
  err_ << '\a' << std::flush;
}

// 1145 and unknown sources have no caption: the window shows no box for them.
void CliReporter::PrintBox(int source, const std::string& text) {
  const std::string caption = ToolMessageCaption(source);
  if (caption.empty()) return;
  std::lock_guard lock(mutex_);
  err_ << caption << ": " << text << '\n' << std::flush;
}

}  // namespace netrove::cli
