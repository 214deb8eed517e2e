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
  void DownloadEnded(bool success) override { Add(Ended("download", success)); }
  void UploadEnded(bool success) override { Add(Ended("upload", success)); }
  void AppendEnded(bool success) override { Add(Ended("append", success)); }
  void DeleteEnded(bool success) override { Add(Ended("delete", success)); }
  void NewFolderEnded(bool success) override { Add(Ended("new folder", success)); }
  void RenameEnded(bool success) override { Add(Ended("rename", success)); }
  void ListingReceived(std::string text, std::string rootLabel) override {
    {
      std::lock_guard lock(mutex_);
      listing_ = std::move(text);
      rootLabel_ = std::move(rootLabel);
    }
    Add("listing");
  }
  void NameListReceived(std::optional<std::string> names) override {
    const bool given = names.has_value();
    {
      std::lock_guard lock(mutex_);
      names_ = std::move(names);
    }
    Add(given ? "names" : "no names");
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
  std::optional<std::string> Names() {
    std::lock_guard lock(mutex_);
    return names_;
  }
  std::uint64_t Progress() {
    std::lock_guard lock(mutex_);
    return progress_;
  }
  void AnswerReplace(bool replace) { replace_ = replace; }

 private:
  static std::string Ended(const char* what, bool success) {
    return std::string(what) + " ended " + (success ? "1" : "0");
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
  std::optional<std::string> names_;
  std::uint64_t progress_ = 0;
  bool replace_ = true;
};

}  // namespace netrove::test
