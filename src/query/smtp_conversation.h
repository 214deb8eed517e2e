#pragma once
// The mail tester's side of one SMTP dialogue, without the socket: a queue
// of at most three commands waiting to be sent, the command in flight, and
// the reply handler that picks the next command from a reply's code and the
// command it answers. Fed one complete reply at a time, it walks
// greeting → EHLO (HELO when EHLO is refused) → STARTTLS → EHLO again →
// AUTH → MAIL → RCPT → DATA → test message → QUIT, leaving out what the
// request's TLS choice and user name do not call for. A final refusal (4xx,
// 5xx) of any step leads straight to QUIT, so the dialogue ends without
// waiting for the server to close; the message counts as delivered only
// when DATA got its 354 and the message its 250.
//
// The upgrade itself is the dialogue's: after the server's 220 to STARTTLS
// the conversation sends nothing and says UpgradeDue() until it is told
// the connection is secured (OnSecured) or ends.
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/tls.h"
#include "query/smtp_capabilities.h"
#include "query/smtp_commands.h"

namespace netrove {

// Where the conversation puts its lines: the dialogue's socket, or a test's
// recorder.
class ISmtpWire {
 public:
  virtual ~ISmtpWire() = default;
  // Sends every byte. False when they could not all go (the wire has then
  // reported why).
  virtual bool SendAll(std::string_view bytes) = 0;
};

// The texts a dialogue puts into its commands, and how it may go about it.
struct SmtpParties {
  std::string heloName;   // the argument of EHLO/HELO: our own name or address literal
  std::string sender;     // MAIL FROM:<...>
  std::string recipient;  // RCPT TO:<...>
  std::string message;    // sent after the go-ahead for DATA, closing dot included
  TlsMode tls = TlsMode::Off;
  std::string user{};  // empty: no AUTH
  std::string password{};
};

// Why a dialogue gave up before the server refused anything itself, or the
// refusal that the user must be told about beyond the transcript.
enum class SmtpStop {
  None,
  TlsNotOffered,     // TLS required, the server offers no STARTTLS
  TlsRefused,        // TLS required, the server refused STARTTLS
  PasswordNeedsTls,  // a user name is given but the connection is not secured
  AuthNotOffered,    // no AUTH PLAIN or LOGIN offered
  AuthRefused,       // the server refused the user name or password
};

class CSmtpConversation {
 public:
  static constexpr std::size_t kQueueLimit = 3;

  explicit CSmtpConversation(ISmtpWire& wire) : wire_(wire) {}

  // A new dialogue: forgets the queue and the command in flight.
  void Begin(SmtpParties parties);

  // Queues a command with its own copy of the argument and, when nothing is
  // in flight, sends it at once. False when three commands already wait.
  bool Enqueue(SmtpCommand command, std::string argument);

  // The argument of EHLO/HELO, once the connection tells our address.
  void SetHeloName(std::string name);

  // One complete reply: its code and its lines (the EHLO answer's lines are
  // the server's capabilities).
  void OnReply(int code, const std::vector<std::string>& lines = {});

  // The server said go ahead to STARTTLS: the dialogue is to secure the
  // connection before anything else is sent or read.
  bool UpgradeDue() const;
  // The connection is secure: from its first byte (implicit TLS) or after
  // the upgrade, which the conversation then follows with EHLO again.
  void OnSecured();

  SmtpCommand InFlight() const;
  std::size_t QueuedCount() const;
  // The server accepted the test message: 354 to DATA, then 250 to the
  // message.
  bool Delivered() const;
  // QUIT has been answered: nothing more is to come from this dialogue.
  bool Ended() const;
  SmtpStop Stop() const;
  bool Secured() const;

 private:
  struct Entry {
    SmtpCommand command = SmtpCommand::None;
    std::string argument;
  };

  void OnPositiveReply(int code, SmtpCommand answered, const std::vector<std::string>& lines);
  void OnChallenge(int code);
  void OnRefusal(int code, SmtpCommand refused);
  // After the server has greeted by EHLO or HELO: STARTTLS, AUTH or MAIL.
  void AfterHello(const SmtpCapabilities& capabilities);
  void GiveUp(SmtpStop stop);
  // Sends the first queued command and puts it in flight; on a failed send
  // the queue stays as it was.
  void SendNext();
  SmtpCommand TakeInFlight();

  ISmtpWire& wire_;
  SmtpParties parties_;
  mutable std::mutex mutex_;  // guards everything below
  std::deque<Entry> queue_;
  Entry inFlight_;
  bool messageSent_ = false;  // after the 354 to DATA
  bool delivered_ = false;
  bool ended_ = false;
  bool secured_ = false;
  bool upgradeDue_ = false;
  bool upgradeRefused_ = false;    // STARTTLS refused, going on in plain text was allowed
  int challenges_ = 0;             // 334s answered in this AUTH
  bool authLogin_ = false;         // this AUTH is LOGIN, not PLAIN
  SmtpCapabilities capabilities_;  // of the last EHLO
  SmtpStop stop_ = SmtpStop::None;
};

}  // namespace netrove
