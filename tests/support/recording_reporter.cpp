#include "support/recording_reporter.h"

namespace netrove::test {

void RecordingReporter::PostToolMessage(int source, std::string text) {
  std::lock_guard lock(mutex_);
  messages_.push_back({source, std::move(text), 0});
}

void RecordingReporter::PostSystemError(int errorCode) {
  std::lock_guard lock(mutex_);
  messages_.push_back({kSourceSystemMessage, {}, errorCode});
}

void RecordingReporter::PostAttention() {
  std::lock_guard lock(mutex_);
  messages_.push_back({kSourceAttention, {}, 0});
}

std::vector<RecordedMessage> RecordingReporter::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::string> RecordingReporter::Texts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& message : messages_) texts.push_back(message.text);
  return texts;
}

}  // namespace netrove::test
