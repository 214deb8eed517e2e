#pragma once
// Everything an FTP connection tells its window, recorded in order: the
// transcript, the page notices and the pane results, each pane result as one
// line of text ("download ended 1", "listing", ...), with waits that have a
// deadline.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/transcript_sink.h"
#include "transfer/ftp_notify.h"

namespace netrove::test {

// A request written in one expression: RequestOf(kind, source, target).Type(...).
struct RequestOf : FtpRequest {
  explicit RequestOf(FtpOperationKind what, std::string from = {}, std::string to = {}) {
    kind = what;
    source = std::move(from);
    target = std::move(to);
  }
  RequestOf& Type(FtpTransferType value) {
    type = value;
    return *this;
  }
  RequestOf& Store(FtpStoreMode value) {
    store = value;
    return *this;
  }
  RequestOf& Replace() {
    replace = true;
    return *this;
  }
  RequestOf& Folder() {
    sourceIsFolder = true;
    return *this;
  }
  RequestOf& Move() {
    move = true;
    return *this;
  }
  RequestOf& Editor(std::string program) {
    editor = std::move(program);
    return *this;
  }
};

class FtpRecorder : public ITranscriptSink,
                    public IFtpPageNotifier,
                    public IFtpPanes,
                    public IFtpQuestions {
 public:
  void AppendTranscript(std::string_view text) override {
    std::lock_guard lock(mutex_);
    transcript_ += text;
  }
  void NotifyPage(FtpPage page, int code) override {
    Add((page == FtpPage::Login ? "login " : "directories ") + std::to_string(code));
  }
  void Beep() override { Add("beep"); }
  void Release() override { Add("release"); }
  // "download ended 1": succeeded; 0 failed; "name exists"; "source kept".
  void OperationEnded(std::uint64_t id, FtpOperationKind kind, FtpOutcome outcome) override {
    {
      std::lock_guard lock(mutex_);
      lastId_ = id;
    }
    Add(std::string(FtpOperationName(kind)) + " ended " + OutcomeText(outcome));
  }
  void ListingReceived(std::string text, std::string rootLabel) override {
    {
      std::lock_guard lock(mutex_);
      listing_ = std::move(text);
      rootLabel_ = std::move(rootLabel);
    }
    Add("listing");
  }
  void SetNewItemLabel(std::string label) override { Add("label " + label); }
  void ClearRemoteTree() override { Add("clear remote tree"); }
  void TransferProgress(std::uint64_t bytes) override {
    std::lock_guard lock(mutex_);
    progress_ = bytes;
  }
  bool ConfirmReplace(std::string_view fileName) override {
    Add("confirm " + std::string(fileName));
    return replace_;
  }

  // Waits until `event` has been recorded `count` times in all.
  bool WaitFor(const std::string& event, int count = 1,
               std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return CountLocked(event) >= count; });
  }
  int Count(const std::string& event) {
    std::lock_guard lock(mutex_);
    return CountLocked(event);
  }
  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::string Transcript() {
    std::lock_guard lock(mutex_);
    return transcript_;
  }
  std::string Listing() {
    std::lock_guard lock(mutex_);
    return listing_;
  }
  std::string RootLabel() {
    std::lock_guard lock(mutex_);
    return rootLabel_;
  }
  std::uint64_t LastId() {
    std::lock_guard lock(mutex_);
    return lastId_;
  }
  std::uint64_t Progress() {
    std::lock_guard lock(mutex_);
    return progress_;
  }
  void AnswerReplace(bool replace) { replace_ = replace; }

 private:
  static const char* OutcomeText(FtpOutcome outcome) {
    switch (outcome) {
      case FtpOutcome::Succeeded:
        return "1";
      case FtpOutcome::Failed:
        return "0";
      case FtpOutcome::NameExists:
        return "name exists";
      case FtpOutcome::SourceKept:
        return "source kept";
    }
    return "?";
  }
  void Add(std::string event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    changed_.notify_all();
  }
  int CountLocked(const std::string& event) const {
    int count = 0;
    for (const auto& recorded : events_) count += recorded == event ? 1 : 0;
    return count;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
  std::string transcript_;
  std::string listing_;
  std::string rootLabel_;
  std::uint64_t lastId_ = 0;
  std::uint64_t progress_ = 0;
  bool replace_ = true;
};

}  // namespace netrove::test
