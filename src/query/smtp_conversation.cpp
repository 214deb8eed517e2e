#include "query/smtp_conversation.h"

#include <utility>

namespace netrove {

void CSmtpConversation::Begin(SmtpParties parties) {
  std::lock_guard lock(mutex_);
  parties_ = std::move(parties);
  queue_.clear();
  inFlight_ = {};
  messageSent_ = delivered_ = ended_ = false;
}

void CSmtpConversation::SetHeloName(std::string name) {
  std::lock_guard lock(mutex_);
  parties_.heloName = std::move(name);
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
      if (code == 354 && InFlight() == SmtpCommand::Data) {
        {
          std::lock_guard lock(mutex_);
          messageSent_ = true;
        }
        wire_.SendAll(parties_.message);
      }
      break;
    case 4:
    case 5:
      OnRefusal();
      break;
    default:
      break;
  }
}

void CSmtpConversation::OnPositiveReply(int code) {
  // What the reply answers must be known before the flight is cleared: a
  // 250 to HELO leads to MAIL, a 250 to MAIL to RCPT.
  const SmtpCommand answered = TakeInFlight();
  if (answered == SmtpCommand::Quit || code == 221) {
    std::lock_guard lock(mutex_);
    ended_ = true;
    return;
  }
  if (code == 220) {
    Enqueue(SmtpCommand::Helo, parties_.heloName);
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
      case SmtpCommand::Data: {
        // A 250 straight to DATA, without the go-ahead, delivered nothing.
        {
          std::lock_guard lock(mutex_);
          delivered_ = messageSent_;
        }
        Enqueue(SmtpCommand::Quit, {});
        break;
      }
      default:
        break;
    }
  }
  if (QueuedCount() > 0 && InFlight() == SmtpCommand::None) SendNext();
}

// Nothing that would have followed the refused command is sent: the
// dialogue says goodbye instead of leaving the server to time it out. A
// refused QUIT ends it all the same.
void CSmtpConversation::OnRefusal() {
  const SmtpCommand refused = TakeInFlight();
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    if (refused == SmtpCommand::Quit) {
      ended_ = true;
      return;
    }
  }
  Enqueue(SmtpCommand::Quit, {});
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

bool CSmtpConversation::Delivered() const {
  std::lock_guard lock(mutex_);
  return delivered_;
}

bool CSmtpConversation::Ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

std::size_t CSmtpConversation::QueuedCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace netrove
