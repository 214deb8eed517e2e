// The parts of the FTP connection that use what a server offers beyond the
// base protocol: FEAT after the login, OPTS UTF8 ON where offered, and MLSD
// listings in place of LIST.
#include "transfer/ftp_connection.h"

namespace netrove {

CFtpFeatures CFtpConnection::Features() const {
  std::lock_guard lock(queueMutex_);
  return features_;
}

// FEAT and OPTS are sent by the login alone, and whatever the server answers
// (a refusal included: an older server simply has no extensions) the login
// goes on. A 421 still ends the connection the ordinary way.
bool CFtpConnection::OnExtensionReply(int code) {
  if (code < 200 || code == 421) return false;
  const FtpCommand inFlight = InFlightCommand();
  if (inFlight != FtpCommand::Feat && inFlight != FtpCommand::Opts) return false;
  TakeInFlight();
  if (inFlight == FtpCommand::Feat) OnFeatures(code / 100 == 2);
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

}  // namespace netrove
