// The parts of the FTP connection that use what a server offers beyond the
// base protocol: FEAT after the login, OPTS UTF8 ON where offered, MLSD
// listings in place of LIST (and MLST for a path that names a file), and
// SIZE and MDTM before a download.
#include <algorithm>

#include "transfer/ftp_connection.h"
#include "transfer/ftp_listing.h"

namespace netrove {

CFtpFeatures CFtpConnection::Features() const {
  std::lock_guard lock(queueMutex_);
  return features_;
}

// FEAT and OPTS are sent by the login alone, SIZE and MDTM by a download
// before its data connection; whatever the server answers (a refusal
// included: an older server simply lacks the extension) the login or the
// download goes on. A 421 or 530 still ends the connection the ordinary way.
bool CFtpConnection::OnExtensionReply(int code) {
  if (code < 200 || code == 421 || code == 530) return false;
  const FtpCommand inFlight = InFlightCommand();
  if (inFlight == FtpCommand::Mlsd && code / 100 == 5 && ListsOneEntry()) {
    if (const auto refused = TakeInFlight()) ListSingleEntry(*refused);
    return true;
  }
  if (inFlight != FtpCommand::Feat && inFlight != FtpCommand::Opts &&
      inFlight != FtpCommand::Size && inFlight != FtpCommand::Mdtm &&
      inFlight != FtpCommand::Mlst) {
    return false;
  }
  const auto entry = TakeInFlight();
  if (entry && inFlight == FtpCommand::Mlst) OnSingleEntry(*entry, code / 100 == 2);
  if (inFlight == FtpCommand::Feat) OnFeatures(code / 100 == 2);
  if (entry && (inFlight == FtpCommand::Size || inFlight == FtpCommand::Mdtm))
    OnProbeReply(*entry, code);
  SendNext();
  return true;
}

// Names stay the server's bytes either way; UTF8 ON asks a server that can
// to send and take them as UTF-8 rather than in a code page of its own.
void CFtpConnection::OnFeatures(bool answered) {
  CFtpFeatures features = answered ? CFtpFeatures::FromReply(lastReplyText_) : CFtpFeatures();
  const bool utf8 = features.Has("UTF8");
  {
    std::lock_guard lock(queueMutex_);
    features_ = std::move(features);
  }
  if (utf8) Enqueue({FtpCommand::Opts, "UTF8 ON", nullptr});
  Enqueue({FtpCommand::Pwd, std::nullopt, nullptr});
  ListLoginFolder();
}

// A server offering MLST lists folders with MLSD: exact types, sizes and
// times, names whole, instead of text laid out for people.
FtpCommand CFtpConnection::ListingCommand() const {
  std::lock_guard lock(queueMutex_);
  return features_.Has("MLST") ? FtpCommand::Mlsd : FtpCommand::List;
}

// A binary download asks the file's size first (after TYPE I: a size in
// ASCII depends on the line ends, and some servers refuse it), and any
// download its modification time: the first tells a data connection that
// ended early from a whole file, the second dates the local copy.
bool CFtpConnection::QueueDownloadProbe(const OperationPtr& operation) {
  const FtpRequest& request = operation->request;
  std::vector<Entry> entries;
  {
    std::lock_guard lock(queueMutex_);
    if (request.type == FtpTransferType::Image && features_.Has("SIZE")) {
      entries.push_back({FtpCommand::Type, "I", operation});
      entries.push_back({FtpCommand::Size, request.source, operation});
    }
    if (features_.Has("MDTM")) entries.push_back({FtpCommand::Mdtm, request.source, operation});
  }
  if (entries.empty())
    return QueueDataCommands(operation, request.type, FtpCommand::Retr, request.source);
  operation->transfer->WatchActivity(lastActivity_);
  if (EnqueueAll(std::move(entries))) return true;
  EndOperation(operation, false);
  return false;
}

// "213 value"; the transfer command follows the last of the probe's replies.
void CFtpConnection::OnProbeReply(const Entry& entry, int code) {
  const OperationPtr& operation = entry.operation;
  if (operation && operation->kind == OperationKind::RemoteSize) {
    OnResumeSize(entry, code);
    return;
  }
  if (!operation || operation->ended || !operation->transfer) return;
  if (code / 100 == 2) {
    std::string_view value =
        std::string_view(lastReply_).substr(std::min<std::size_t>(4, lastReply_.size()));
    while (value.ends_with(' ')) value.remove_suffix(1);
    if (entry.command == FtpCommand::Size) {
      if (const auto size = ParseFtpSize(value)) operation->transfer->ExpectSize(*size);
    } else if (const auto time = ParseFtpTime(value)) {
      operation->transfer->KeepRemoteTime(*time);
    }
  }
  if (OperationWaits(operation)) return;
  QueueDataCommands(operation, operation->request.type, FtpCommand::Retr,
                    operation->request.source);
}

// MLSD lists folders only: a path that names a file (`ls PATH`) is refused,
// and MLST, which answers for one entry, is asked instead. The listing the
// caller gets is that entry's line, named by its last part.
bool CFtpConnection::ListsOneEntry() const {
  std::lock_guard lock(queueMutex_);
  if (!inFlight_ || !inFlight_->operation) return false;
  const Operation& operation = *inFlight_->operation;
  return !operation.ended && operation.request.kind == FtpOperationKind::List &&
         !operation.request.source.empty();
}

void CFtpConnection::ListSingleEntry(const Entry& refused) {
  const OperationPtr& operation = refused.operation;
  if (operation->transfer) operation->transfer->Finish(false);
  operation->transfer.reset();
  DropOperation(operation);
  if (!Enqueue({FtpCommand::Mlst, operation->request.source, operation}))
    EndOperation(operation, false);
}

// "250-Listing path", " facts path", "250 End": the line led by a blank is
// the entry. Only a file stands in for the listing: a folder whose MLSD was
// refused (unreadable, say) stays refused.
void CFtpConnection::OnSingleEntry(const Entry& entry, bool found) {
  const OperationPtr& operation = entry.operation;
  if (!found || !operation) {
    EndCommand(entry, false);
    return;
  }
  std::string_view reply = lastReplyText_;
  std::string listing;
  while (!reply.empty() && listing.empty()) {
    const std::size_t end = reply.find("\r\n");
    const std::string_view line = reply.substr(0, end);
    reply.remove_prefix(end == std::string_view::npos ? reply.size() : end + 2);
    const std::size_t blank = line.find(' ', 1);
    if (!line.starts_with(' ') || blank == std::string_view::npos) continue;
    const std::string_view path = line.substr(blank + 1);
    listing =
        std::string(line.substr(1, blank)) + std::string(path.substr(path.rfind('/') + 1)) + "\r\n";
  }
  const auto file = ParseFactsLine(std::string_view(listing).substr(0, listing.find("\r\n")));
  if (!file || file->isFolder) {
    EndCommand(entry, false);
    return;
  }
  if (operation->ended.exchange(true)) return;
  panes_.ListingReceived(std::move(listing), CurrentDirectory());
  Report(*operation, FtpOutcome::Succeeded);
}

bool CFtpConnection::OperationWaits(const OperationPtr& operation) const {
  std::lock_guard lock(queueMutex_);
  return std::any_of(waiting_.begin(), waiting_.end(),
                     [&](const Entry& entry) { return entry.operation == operation; });
}

}  // namespace netrove
