// netrove-cli mail: one test dialogue with the outgoing mail server, as the
// Mail window's Send runs it, printing the server's replies as the window's
// transcript shows them. Ctrl+C hangs up the way the window's "Hang Up" does.
#include <ostream>
#include <string>

#include "cli/cli_registry.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "query/mail_settings.h"
#include "query/smtp_dialogue.h"

namespace netrove::cli {
namespace {

constexpr std::string_view kUsage =
    "Usage: netrove-cli mail --to ADDRESS [--server HOST[:PORT]] [--from ADDRESS]\n"
    "Sends the test message \"TEST - SMTP\" from --from to --to through --server.\n"
    "--server and --from default to \"Outgoing Mail\" and \"E-Mail Address\" of the Mail\n"
    "page of Customize. Exit status 0 when the server accepted the message.\n";

// Takes the value of the option at args[i]; false when it is missing.
bool TakeText(std::span<const std::string> args, std::size_t& i, std::string& into) {
  if (i + 1 >= args.size()) return false;
  into = args[++i];
  return true;
}

bool ParseArguments(std::span<const std::string> args, SmtpRequest& request) {
  bool toGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool ok = false;
    if (arg == "--to") {
      ok = TakeText(args, i, request.recipient);
      toGiven = true;
    } else if (arg == "--server") {
      ok = TakeText(args, i, request.server);
    } else if (arg == "--from") {
      ok = TakeText(args, i, request.sender);
    }
    if (!ok) return false;
  }
  return toGiven && !request.recipient.empty();
}

// Why a text cannot go into an SMTP command.
std::string_view FaultText(SmtpRequestFault fault) {
  switch (fault) {
    case SmtpRequestFault::Recipient:
      return "the --to address";
    case SmtpRequestFault::Sender:
      return "the sender address";
    case SmtpRequestFault::Server:
      return "the server";
    case SmtpRequestFault::None:
      break;
  }
  return "";
}

int RunMail(std::span<const std::string> args, CliStreams& io) {
  const MailSettings settings = ReadMailSettings().value_or(MailSettings{});
  SmtpRequest request{settings.outgoingMail, settings.address, {}};
  if (!ParseArguments(args, request)) {
    io.err << kUsage;
    return kUsageError;
  }
  if (const auto fault = CheckSmtpRequest(request); fault != SmtpRequestFault::None) {
    io.err << "netrove-cli mail: " << FaultText(fault)
           << " holds CR, LF, NUL, '<' or '>', or is longer than " << kSmtpArgumentMaxBytes
           << " bytes\n";
    return kUsageError;
  }
  StreamSink sink(io.out);
  CliReporter reporter(io.err);
  FinishedSignal finished;
  CSmtpDialogue dialogue(sink, reporter, finished);
  RunUntilFinished([&] { return dialogue.Start(request); }, [&] { dialogue.HangUp(); },
                   [&] { dialogue.Join(); });
  return dialogue.Delivered() ? 0 : 1;
}

const CommandRegistrar registrar({"mail",
                                  "mail --to ADDRESS [--server HOST[:PORT]] [--from ADDRESS]",
                                  "Check that a mail server accepts a test message.", RunMail});

}  // namespace
}  // namespace netrove::cli
