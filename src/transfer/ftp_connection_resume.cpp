// Resumed transfers: the size of the server's copy first (SIZE, in binary),
// then the missing part only (REST offset before RETR or STOR).
//
// Download: the local file (or the part an interrupted download kept beside
// it) is appended to from its end. A server that refuses REST ends the
// request as failed with a message; the local bytes are kept, never
// rewritten from the start behind the user's back.
// Upload: the server's copy is continued from its size; a server that
// refuses REST before STOR gets APPE from the same offset instead.
// A target as large as the source is complete: nothing is sent. One larger
// than the source is not a part of it: the request fails.
#include <filesystem>

#include "base/tool_message.h"
#include "transfer/ftp_connection.h"
#include "transfer/ftp_listing.h"

namespace netrove {
namespace {

std::optional<std::uint64_t> LocalSize(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  return static_cast<std::uint64_t>(size);
}

}  // namespace

bool CFtpConnection::AskRemoteSize(const OperationPtr& operation) {
  const FtpRequest& request = operation->request;
  const bool download = request.kind == FtpOperationKind::Download;
  // Some servers give no size in ASCII mode, and the listing before left it on.
  std::vector<Entry> entries;
  entries.push_back({FtpCommand::Type, "I", operation});
  entries.push_back({FtpCommand::Size, download ? request.source : request.target, operation});
  if (EnqueueAll(std::move(entries))) return true;
  EndOperation(operation, false);
  return false;
}

// "213 <size>", or a refusal: the server has no copy it will measure. Either
// way the request goes on.
void CFtpConnection::OnResumeSize(const Entry& entry, int code) {
  if (code / 100 == 2 && lastReply_.size() > 4) {
    std::string_view value = std::string_view(lastReply_).substr(4);
    while (value.ends_with(' ')) value.remove_suffix(1);
    entry.operation->remoteSize = ParseFtpSize(value);
  }
  EndOperation(entry.operation, true);
}

void CFtpConnection::GoOnAfterSize(const OperationPtr& check, bool answered) {
  if (!answered || !connected_) {
    Report(*check, FtpOutcome::Failed);
    return;
  }
  FtpRequest request = check->request;
  request.type = FtpTransferType::Image;
  const bool download = request.kind == FtpOperationKind::Download;
  const OperationPtr next =
      NewOperation(download ? OperationKind::Download : OperationKind::Upload, check->id, request);
  next->remoteSize = check->remoteSize;
  if (download) {
    ResumeDownload(next);
  } else {
    ResumeUpload(next);
  }
}

bool CFtpConnection::ResumeDownload(const OperationPtr& operation) {
  FtpRequest& request = operation->request;
  const std::filesystem::path target(request.target);
  std::filesystem::path file = target;
  std::optional<std::uint64_t> size = LocalSize(file);
  if (!size) size = LocalSize(file = PartialDownloadPath(target));
  // Nothing to go on from: an ordinary download (an empty file holds nothing
  // to lose).
  if (!size || *size == 0) {
    request.replace = true;
    return Download(operation);
  }
  if (operation->remoteSize && *operation->remoteSize == *size) {
    std::error_code ignored;
    if (file != target) std::filesystem::rename(file, target, ignored);
    EndAlreadyComplete(operation);
    return true;
  }
  if (operation->remoteSize && *operation->remoteSize < *size) {
    // Built in pieces: GCC 12 at -O3 misreads a chain of + as overlapping copies.
    std::string message = "'";
    message += file.filename().string();
    message +=
        "' is larger than the file on the FTP server; it was not resumed and was left "
        "as it is.";
    reporter_.PostToolMessage(kSourceFtp, message);
    EndOperation(operation, false);
    return false;
  }
  operation->restartAt = *size;
  operation->transfer =
      std::make_unique<CFtpTransfer>(FtpTransferKind::Download, false, reporter_, panes_);
  if (const int error = operation->transfer->ResumeDownloadFile(file, *size, target)) {
    ReportError(error, 1);
    EndOperation(operation, false);
    return false;
  }
  if (operation->remoteSize) operation->transfer->ExpectSize(*operation->remoteSize - *size);
  return QueueDataCommands(operation, FtpTransferType::Image, FtpCommand::Retr, request.source);
}

bool CFtpConnection::ResumeUpload(const OperationPtr& operation) {
  FtpRequest& request = operation->request;
  const std::optional<std::uint64_t> size = LocalSize(request.source);
  if (!size) {
    ReportError(ENOENT, 1);
    EndOperation(operation, false);
    return false;
  }
  // No size from the server: no copy there (or none it will measure).
  const std::uint64_t remote = operation->remoteSize.value_or(0);
  if (operation->remoteSize && remote == *size) {
    EndAlreadyComplete(operation);
    return true;
  }
  if (remote > *size) {
    reporter_.PostToolMessage(kSourceFtp,
                              "The file on the FTP server is larger than '" +
                                  std::filesystem::path(request.source).filename().string() +
                                  "'; it was not resumed and was left as it is.");
    EndOperation(operation, false);
    return false;
  }
  operation->restartAt = remote;
  request.replace = true;
  operation->transfer =
      std::make_unique<CFtpTransfer>(FtpTransferKind::Upload, false, reporter_, panes_);
  if (const int error = operation->transfer->OpenUploadFile(request.source, remote)) {
    ReportError(error, 1);
    EndOperation(operation, false);
    return false;
  }
  return QueueDataCommands(operation, FtpTransferType::Image, FtpCommand::Stor, request.target);
}

// Nothing was missing: the request succeeded (a move still removes its
// source, as after a transfer).
void CFtpConnection::EndAlreadyComplete(const OperationPtr& operation) {
  operation->ended = true;
  if (operation->request.move) {
    GoOnAfterCopy(operation);
    return;
  }
  Report(*operation, FtpOutcome::Succeeded);
}

// An upload goes on with APPE from the same offset; a download ends (its
// bytes stay where they are). True when the request goes on.
bool CFtpConnection::OnRestartRefused(const Entry& entry) {
  const OperationPtr& operation = entry.operation;
  if (!operation) return false;
  if (operation->kind == OperationKind::Upload) {
    std::lock_guard lock(queueMutex_);
    for (Entry& waiting : waiting_) {
      if (waiting.operation == operation && waiting.command == FtpCommand::Stor) {
        waiting.command = FtpCommand::Appe;
        return true;
      }
    }
    return false;
  }
  reporter_.PostToolMessage(
      kSourceFtp, "The FTP server cannot resume a download (it refused REST: " + lastReply_ +
                      "). The part already received was kept as it is; download the "
                      "file again without resuming to start over.");
  return false;
}

}  // namespace netrove
