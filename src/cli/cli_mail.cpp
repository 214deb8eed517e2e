// netrove-cli mail: one test dialogue with the outgoing mail server, as the
// Mail window's Send runs it, printing the server's replies as the window's
// transcript shows them. Ctrl+C hangs up the way the window's "Hang Up" does.
#include <ostream>
#include <string>

#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "query/mail_settings.h"
#include "query/smtp_dialogue.h"

namespace netrove::cli {
namespace {

constexpr Option kOptions[] = {
    {"to", '\0', "ADDRESS", "the recipient of the test message (required)"},
    {"server", '\0', "HOST[:PORT]", "the SMTP server (port 25 unless given)"},
    {"from", '\0', "ADDRESS", "the sender of the test message"},
    kIPv4Option,
    kIPv6Option,
};

// Which text cannot go into an SMTP command.
std::string_view FaultText(SmtpRequestFault fault) {
  switch (fault) {
    case SmtpRequestFault::Recipient:
      return "the --to address";
    case SmtpRequestFault::Sender:
      return "the sender address";
    case SmtpRequestFault::Server:
      return "the server";
    case SmtpRequestFault::NoSender:
    case SmtpRequestFault::None:
      break;
  }
  return "";
}

int RunMail(const CommandLine& line, CliStreams& io) {
  const MailSettings settings = ReadMailSettings().value_or(MailSettings{});
  const auto network = NetworkSettingsFrom(line, io);
  if (!network) return kUsageError;
  const SmtpRequest request{line.Text("server").value_or(settings.outgoingMail),
                            line.Text("from").value_or(settings.address),
                            line.Text("to").value_or(std::string()), *network};
  if (request.recipient.empty()) {
    io.err << "netrove-cli mail: --to ADDRESS is required\n";
    return kUsageError;
  }
  const auto fault = CheckSmtpRequest(request);
  if (fault == SmtpRequestFault::NoSender) {
    io.err << "netrove-cli mail: a sender is required: --from ADDRESS, or the E-Mail Address "
              "of the Mail page of Customize\n";
    return kUsageError;
  }
  if (fault != SmtpRequestFault::None) {
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

const CommandRegistrar registrar(
    {"mail", "", "Check that a mail server accepts a test message.", kOptions, RunMail, 0, 0,
     "Sends the message \"TEST - SMTP\" from --from to --to through --server.\n"
     "--server and --from default to \"Outgoing Mail\" and \"E-Mail Address\" of the Mail\n"
     "page of Customize. Exit status 0 when the server accepted the message.\n"});

}  // namespace
}  // namespace netrove::cli
