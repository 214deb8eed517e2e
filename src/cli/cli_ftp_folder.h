#pragma once
// `netrove-cli ftp get -r` and `put -r`: a folder job's progress on one
// line of the error stream (rewritten in place, at most twice a second),
// each failed file on a line of its own, and the summary at the end.
#include <chrono>
#include <mutex>
#include <ostream>

#include "transfer/ftp_folder_job.h"

namespace netrove::cli {

class CliFolderJobSink : public IFtpFolderJobSink {
 public:
  // `ended` is called once, with whether every file went.
  CliFolderJobSink(std::ostream& err, FtpFolderDirection direction,
                   std::function<void(bool)> ended);

  void FolderProgress(const FtpFolderProgress& progress) override;
  void FolderItemFailed(const std::string& path) override;
  void FolderJobEnded(const FtpFolderSummary& summary) override;

 private:
  std::ostream& err_;
  const FtpFolderDirection direction_;
  const std::function<void(bool)> ended_;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point lastShown_{};
  bool lineOpen_ = false;  // a progress line waits for its end
};

}  // namespace netrove::cli
