#include "query/smtp_conversation.h"

#include <utility>

#include "query/smtp_auth.h"

namespace netrove {

void CSmtpConversation::Begin(SmtpParties parties) {
  std::lock_guard lock(mutex_);
  parties_ = std::move(parties);
  queue_.clear();
  inFlight_ = {};
  messageSent_ = delivered_ = ended_ = secured_ = upgradeDue_ = upgradeRefused_ = false;
  challenges_ = 0;
  stop_ = SmtpStop::None;
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
    idle = inFlight_.command == SmtpCommand::None && !upgradeDue_;
  }
  if (idle) SendNext();
  return true;
}

void CSmtpConversation::OnReply(int code, const std::vector<std::string>& lines) {
  switch (code / 100) {
    case 2:
      OnPositiveReply(code, TakeInFlight(), lines);
      break;
    case 3:
      OnChallenge(code);
      break;
    case 4:
    case 5:
      OnRefusal(code, TakeInFlight());
      break;
    default:
      break;
  }
}

void CSmtpConversation::OnPositiveReply(int code, SmtpCommand answered,
                                        const std::vector<std::string>& lines) {
  if (answered == SmtpCommand::Quit || code == 221) {
    std::lock_guard lock(mutex_);
    ended_ = true;
    return;
  }
  if (code == 220 && answered == SmtpCommand::StartTls) {
    // Nothing more goes out, and nothing more is read, in plain text.
    std::lock_guard lock(mutex_);
    upgradeDue_ = true;
    return;
  }
  if (code == 220) {
    Enqueue(SmtpCommand::Ehlo, parties_.heloName);
  } else if (code == 235 && (answered == SmtpCommand::Auth || answered == SmtpCommand::AuthData)) {
    Enqueue(SmtpCommand::Mail, parties_.sender);
  } else if (code == 250 || (code == 251 && answered == SmtpCommand::Rcpt)) {
    // 251: the server forwards to the recipient, which accepts it as well.
    switch (answered) {
      case SmtpCommand::Ehlo:
        AfterHello(ParseEhloReply(lines));
        break;
      case SmtpCommand::Helo:
        AfterHello({});
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

// 354 is the go-ahead for the message (DATA stays in flight until the
// message itself is answered); 334 asks for the next piece of AUTH.
void CSmtpConversation::OnChallenge(int code) {
  const SmtpCommand inFlight = InFlight();
  if (code == 354 && inFlight == SmtpCommand::Data) {
    {
      std::lock_guard lock(mutex_);
      messageSent_ = true;
    }
    wire_.SendAll(parties_.message);
    return;
  }
  if (code != 334 || (inFlight != SmtpCommand::Auth && inFlight != SmtpCommand::AuthData)) return;
  TakeInFlight();
  int challenge;
  {
    std::lock_guard lock(mutex_);
    challenge = ++challenges_;
  }
  std::string answer = "*";  // cancels an exchange that asks for more than it should
  if (authLogin_ && challenge == 1) answer = Base64(parties_.user);
  if (authLogin_ && challenge == 2) answer = Base64(parties_.password);
  if (!authLogin_ && challenge == 1)
    answer = AuthPlainArgument(parties_.user, parties_.password).substr(6);
  Enqueue(SmtpCommand::AuthData, std::move(answer));
}

void CSmtpConversation::AfterHello(const SmtpCapabilities& capabilities) {
  capabilities_ = capabilities;
  const TlsMode tls = parties_.tls;
  if (!Secured() && !upgradeRefused_ && (tls == TlsMode::IfOffered || tls == TlsMode::Required)) {
    if (capabilities.startTls) {
      Enqueue(SmtpCommand::StartTls, {});
      return;
    }
    if (tls == TlsMode::Required) return GiveUp(SmtpStop::TlsNotOffered);
  }
  if (parties_.user.empty()) {
    Enqueue(SmtpCommand::Mail, parties_.sender);
    return;
  }
  // A password goes in clear text only where the user chose no TLS at all.
  if (!Secured() && tls != TlsMode::Off) return GiveUp(SmtpStop::PasswordNeedsTls);
  {
    std::lock_guard lock(mutex_);
    challenges_ = 0;
    authLogin_ = !capabilities.authPlain && capabilities.authLogin;
  }
  if (capabilities.authPlain)
    Enqueue(SmtpCommand::Auth, AuthPlainArgument(parties_.user, parties_.password));
  else if (capabilities.authLogin)
    Enqueue(SmtpCommand::Auth, "LOGIN");
  else
    GiveUp(SmtpStop::AuthNotOffered);
}

void CSmtpConversation::GiveUp(SmtpStop stop) {
  {
    std::lock_guard lock(mutex_);
    stop_ = stop;
    queue_.clear();
  }
  Enqueue(SmtpCommand::Quit, {});
}

// Nothing that would have followed the refused command is sent: the
// dialogue says goodbye instead of leaving the server to time it out. A
// refused QUIT ends it all the same. EHLO refused for good is tried as
// HELO; a refused STARTTLS is passed over where TLS was only wanted if
// offered.
void CSmtpConversation::OnRefusal(int code, SmtpCommand refused) {
  switch (refused) {
    case SmtpCommand::Quit: {
      std::lock_guard lock(mutex_);
      ended_ = true;
      return;
    }
    case SmtpCommand::Ehlo:
      if (code / 100 == 5) {
        Enqueue(SmtpCommand::Helo, parties_.heloName);
        return;
      }
      break;
    case SmtpCommand::StartTls:
      if (parties_.tls == TlsMode::Required) return GiveUp(SmtpStop::TlsRefused);
      upgradeRefused_ = true;
      AfterHello(capabilities_);
      return;
    case SmtpCommand::Auth:
    case SmtpCommand::AuthData:
      return GiveUp(SmtpStop::AuthRefused);
    default:
      break;
  }
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
  }
  Enqueue(SmtpCommand::Quit, {});
}

bool CSmtpConversation::UpgradeDue() const {
  std::lock_guard lock(mutex_);
  return upgradeDue_;
}

void CSmtpConversation::OnSecured() {
  bool upgraded;
  {
    std::lock_guard lock(mutex_);
    secured_ = true;
    upgraded = std::exchange(upgradeDue_, false);
  }
  // What the server said before the upgrade counts for nothing now.
  if (upgraded) Enqueue(SmtpCommand::Ehlo, parties_.heloName);
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

SmtpStop CSmtpConversation::Stop() const {
  std::lock_guard lock(mutex_);
  return stop_;
}

bool CSmtpConversation::Secured() const {
  std::lock_guard lock(mutex_);
  return secured_;
}

std::size_t CSmtpConversation::QueuedCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace netrove
