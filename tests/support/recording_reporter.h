#pragma once
// A main-window reporter that records what it is sent, for tests.
#include <mutex>
#include <string>
#include <vector>

#include "base/tool_message.h"

namespace netrove::test {

struct RecordedMessage {
  int source;
  std::string text;  // empty for 1133 and 1145
  int errorCode;     // 1133 only
};

class RecordingReporter : public IMainWindowReporter {
 public:
  void PostToolMessage(int source, std::string text) override;
  void PostSystemError(int errorCode) override;
  void PostAttention() override;
  std::vector<RecordedMessage> Messages() const;
  std::vector<std::string> Texts() const;

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedMessage> messages_;
};

}  // namespace netrove::test
