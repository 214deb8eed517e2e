// netrove-cli mail: one test dialogue with the outgoing mail server, as the
// Mail window's Send runs it, printing the server's replies as the window's
// transcript shows them. Ctrl+C hangs up the way the window's "Hang Up" does.
#include <ostream>
#include <string>

#include "base/tls.h"
#include "cli/cli_command.h"
#include "cli/cli_family.h"
#include "cli/cli_reporter.h"
#include "cli/cli_run.h"
#include "cli/cli_secure.h"
#include "query/mail_settings.h"
#include "query/smtp_dialogue.h"

namespace netrove::cli {
namespace {

constexpr NumberRange kPortRange{1, 65535};

constexpr Option kOptions[] = {
    {"to", '\0', "ADDRESS", "the recipient of the test message (required)"},
    {"server", '\0', "HOST[:PORT]", "the SMTP server (port 25, or 465 with --tls implicit)"},
    {"port", '\0', "PORT", "the server's port (587 for submission with STARTTLS)", kPortRange},
    {"from", '\0', "ADDRESS", "the sender of the test message"},
    kTlsOption,
    kCaCertOption,
    kPinOption,
    kInsecureOption,
    kUserOption,
    kPasswordFileOption,
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

// The request the line and the stored settings make; nothing, with the
// reason printed, when they do not make one.
std::optional<SmtpRequest> RequestFrom(const CommandLine& line, CliStreams& io) {
  const MailSettings settings = ReadMailSettings().value_or(MailSettings{});
  const auto network = NetworkSettingsFrom(line, io);
  const auto secure = SecureChoicesFrom(line, io, settings.tls);
  if (!network || !secure) return std::nullopt;
  SmtpRequest request{line.Text("server").value_or(settings.outgoingMail),
                      line.Text("from").value_or(settings.address),
                      line.Text("to").value_or(std::string()), *network};
  request.tls = secure->mode;
  request.tlsOptions = secure->tls;
  request.user = secure->user;
  std::int32_t port = settings.port;
  line.Take("port", port);
  request.port = static_cast<std::uint16_t>(port);
  if (request.recipient.empty()) {
    io.err << "netrove-cli mail: --to ADDRESS is required\n";
    return std::nullopt;
  }
  const auto fault = CheckSmtpRequest(request);
  if (fault == SmtpRequestFault::NoSender) {
    io.err << "netrove-cli mail: a sender is required: --from ADDRESS, or the E-Mail Address "
              "of the Mail page of Customize\n";
    return std::nullopt;
  }
  if (fault != SmtpRequestFault::None) {
    io.err << "netrove-cli mail: " << FaultText(fault)
           << " holds CR, LF, NUL, '<' or '>', or is longer than " << kSmtpArgumentMaxBytes
           << " bytes\n";
    return std::nullopt;
  }
  return request;
}

int RunMail(const CommandLine& line, CliStreams& io) {
  auto request = RequestFrom(line, io);
  if (!request) return kUsageError;
  if (!request->user.empty()) {
    const SmtpServerAddress server =
        ParseSmtpServer(request->server, DefaultSmtpPort(request->tls));
    auto password = PasswordFor(line, io, server.host, request->user);
    if (!password) return 1;
    request->password = std::move(*password);
  }
  StreamSink sink(io.out);
  CliReporter reporter(io.err);
  FinishedSignal finished;
  CSmtpDialogue dialogue(sink, reporter, finished);
  RunUntilFinished([&] { return dialogue.Start(*request); }, [&] { dialogue.HangUp(); },
                   [&] { dialogue.Join(); });
  if (const auto untrusted = dialogue.TrustFailure()) {
    io.err << "netrove-cli mail: " << DescribeTrustFailure(*untrusted, dialogue.Server().host);
    if (untrusted->problem != CertificateProblem::Changed)
      io.err << "To trust this certificate for this run: --pin " << untrusted->certificate.sha256
             << "\n";
  }
  return dialogue.Delivered() ? 0 : 1;
}

const CommandRegistrar registrar(
    {"mail", "", "Check that a mail server accepts a test message.", kOptions, RunMail, 0, 0,
     "Sends the message \"TEST - SMTP\" from --from to --to through --server.\n"
     "--server and --from default to \"Outgoing Mail\" and \"E-Mail Address\" of the Mail\n"
     "page of Customize. With --user the client signs in (AUTH PLAIN or LOGIN), only\n"
     "over TLS unless --tls off; the password comes from --password-file, ~/.netrc or\n"
     "the terminal. Exit status 0 when the server accepted the message.\n"});

}  // namespace
}  // namespace netrove::cli
