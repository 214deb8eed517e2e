#include "cli/cli_ftp_folder.h"

#include "transfer/ftp_listing.h"

namespace netrove::cli {

CliFolderJobSink::CliFolderJobSink(std::ostream& err, FtpFolderDirection direction,
                                   std::function<void(bool)> ended)
    : err_(err), direction_(direction), ended_(std::move(ended)) {}

void CliFolderJobSink::FolderProgress(const FtpFolderProgress& progress) {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(mutex_);
  if (now - lastShown_ < std::chrono::milliseconds(500)) return;
  lastShown_ = now;
  err_ << "\r" << FormatFolderProgress(progress) << "    " << std::flush;
  lineOpen_ = true;
}

void CliFolderJobSink::FolderItemFailed(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (lineOpen_) err_ << "\n";
  lineOpen_ = false;
  err_ << "Netrove: FTP: not transferred: " << DisplayName(path) << "\n";
}

void CliFolderJobSink::FolderJobEnded(const FtpFolderSummary& summary) {
  {
    std::lock_guard lock(mutex_);
    if (lineOpen_) err_ << "\n";
    lineOpen_ = false;
    err_ << FormatFolderSummary(direction_, summary) << "\n";
  }
  ended_(summary.failed == 0 && !summary.cancelled && !summary.stopped);
}

}  // namespace netrove::cli
