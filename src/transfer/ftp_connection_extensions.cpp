// The parts of the FTP connection that use what a server offers beyond the
// base protocol: FEAT after the login, OPTS UTF8 ON where offered, MLSD
// listings in place of LIST, and SIZE and MDTM before a download.
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
  if (inFlight != FtpCommand::Feat && inFlight != FtpCommand::Opts &&
      inFlight != FtpCommand::Size && inFlight != FtpCommand::Mdtm) {
    return false;
  }
  const auto entry = TakeInFlight();
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

bool CFtpConnection::OperationWaits(const OperationPtr& operation) const {
  std::lock_guard lock(queueMutex_);
  return std::any_of(waiting_.begin(), waiting_.end(),
                     [&](const Entry& entry) { return entry.operation == operation; });
}

}  // namespace netrove
