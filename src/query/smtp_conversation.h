#pragma once
// The mail tester's side of one SMTP dialogue, without the socket: a queue
// of at most three commands waiting to be sent, the command in flight, and
// the reply handler that picks the next command from a reply's code and the
// command it answers. Fed one complete reply at a time, it walks
// greeting → HELO → MAIL → RCPT → DATA → test message → QUIT. A final
// refusal (4xx, 5xx) of any step leads straight to QUIT, so the dialogue ends
// without waiting for the server to close; the message counts as delivered
// only when DATA got its 354 and the message its 250.
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

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

// The three texts a dialogue puts into its commands.
struct SmtpParties {
  std::string heloName;   // the argument of HELO: our own name or address literal
  std::string sender;     // MAIL FROM:<...>
  std::string recipient;  // RCPT TO:<...>
  std::string message;    // sent after the go-ahead for DATA, closing dot included
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

  // The argument of HELO, once the connection tells our address.
  void SetHeloName(std::string name);

  // One complete reply, by its three-digit code.
  void OnReply(int code);

  SmtpCommand InFlight() const;
  std::size_t QueuedCount() const;
  // The server accepted the test message: 354 to DATA, then 250 to the
  // message.
  bool Delivered() const;
  // QUIT has been answered: nothing more is to come from this dialogue.
  bool Ended() const;

 private:
  struct Entry {
    SmtpCommand command = SmtpCommand::None;
    std::string argument;
  };

  void OnPositiveReply(int code);
  void OnRefusal();
  // Sends the first queued command and puts it in flight; on a failed send
  // the queue stays as it was.
  void SendNext();
  SmtpCommand TakeInFlight();

  ISmtpWire& wire_;
  SmtpParties parties_;
  mutable std::mutex mutex_;  // guards the queue and the command in flight
  std::deque<Entry> queue_;
  Entry inFlight_;
  bool messageSent_ = false;  // after the 354 to DATA
  bool delivered_ = false;
  bool ended_ = false;
};

}  // namespace netrove
