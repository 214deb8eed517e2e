#pragma once
// The main-window reporter of netrove-cli: what the window would show in a
// message box is printed as "<caption>: <text>" on the error stream.
#include <iosfwd>
#include <mutex>
#include <string>

#include "base/tool_message.h"

namespace netrove::cli {

class CliReporter : public IMainWindowReporter {
 public:
  // `err` must outlive the reporter; workers may call it from any thread.
  explicit CliReporter(std::ostream& err);

  // Sources the window ignores print nothing either.
  void PostToolMessage(int source, std::string text) override;
  void PostSystemError(int errorCode) override;
  // The terminal bell in place of the beep and the flashing caption.
  void PostAttention() override;

 private:
  void PrintBox(int source, const std::string& text);

  std::mutex mutex_;
  std::ostream& err_;
};

}  // namespace netrove::cli
