#include "query/smtp_conversation.h"

#include <utility>

namespace netrove {

void CSmtpConversation::Begin(SmtpParties parties) {
  std::lock_guard lock(mutex_);
  parties_ = std::move(parties);
  queue_.clear();
  inFlight_ = {};
}

bool CSmtpConversation::Enqueue(SmtpCommand command, std::string argument) {
  bool idle = false;
  {
    std::lock_guard lock(mutex_);
    if (queue_.size() >= kQueueLimit) return false;
    queue_.push_back({command, std::move(argument)});
    idle = inFlight_.command == SmtpCommand::None;
  }
  if (idle) SendNext();
  return true;
}

void CSmtpConversation::OnReply(int code) {
  switch (code / 100) {
    case 2:
      OnPositiveReply(code);
      break;
    case 3:
      // The go-ahead for the message; DATA stays in flight until the
      // message itself is answered.
      if (code == 354 && InFlight() == SmtpCommand::Data) wire_.SendAll(kSmtpTestMessage);
      break;
    case 4:
    case 5:
      // A refusal: the refused command stays in flight, so nothing that
      // would have followed it is sent.
      if (QueuedCount() > 0) SendNext();
      break;
    default:
      break;
  }
}

void CSmtpConversation::OnPositiveReply(int code) {
  // What the reply answers must be known before the flight is cleared: a
  // 250 to HELO leads to MAIL, a 250 to MAIL to RCPT.
  const SmtpCommand answered = TakeInFlight();
  if (code == 221) return;
  if (code == 220) {
    Enqueue(SmtpCommand::Helo, parties_.server);
  } else if (code == 250 || (code == 251 && answered == SmtpCommand::Rcpt)) {
    // 251: the server forwards to the recipient, which accepts it as well.
    switch (answered) {
      case SmtpCommand::Helo:
        Enqueue(SmtpCommand::Mail, parties_.sender);
        break;
      case SmtpCommand::Mail:
        Enqueue(SmtpCommand::Rcpt, parties_.recipient);
        break;
      case SmtpCommand::Rcpt:
        Enqueue(SmtpCommand::Data, {});
        break;
      case SmtpCommand::Data:
        Enqueue(SmtpCommand::Quit, {});
        break;
      default:
        break;
    }
  }
  if (QueuedCount() > 0 && InFlight() == SmtpCommand::None) SendNext();
}

void CSmtpConversation::SendNext() {
  Entry next;
  {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return;
    next = queue_.front();
  }
  if (!wire_.SendAll(FormatSmtpCommand(next.command, next.argument))) return;
  std::lock_guard lock(mutex_);
  inFlight_ = std::move(queue_.front());
  queue_.pop_front();
}

SmtpCommand CSmtpConversation::TakeInFlight() {
  std::lock_guard lock(mutex_);
  return std::exchange(inFlight_, {}).command;
}

SmtpCommand CSmtpConversation::InFlight() const {
  std::lock_guard lock(mutex_);
  return inFlight_.command;
}

std::size_t CSmtpConversation::QueuedCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace netrove
