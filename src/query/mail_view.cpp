#include "query/mail_view.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/certificate_pins.h"
#include "base/command_ids.h"
#include "base/run_finished.h"
#include "query/mail_byte_limit.h"
#include "query/mail_settings.h"
#include "query/smtp_dialogue.h"
#include "widgets/address_book_dialog.h"
#include "widgets/certificate_trust_dialog.h"
#include "widgets/keyring_passwords.h"
#include "widgets/message_boxes.h"
#include "widgets/transcript_view.h"

namespace netrove {

// Brings the dialogue's finished notice to the GUI thread. A notice still
// queued when the view goes is dropped with it.
class CMailView::FinishedRelay : public IRunFinishedListener {
 public:
  explicit FinishedRelay(CMailView& view) : view_(view) {}
  void PostRunFinished(int) override {
    QMetaObject::invokeMethod(
        &view_, [view = &view_] { view->onDialogueEnded(); }, Qt::QueuedConnection);
  }

 private:
  CMailView& view_;
};

CMailView::CMailView(CToolServices& services, QWidget* parent)
    : CToolView(services, parent),
      toButton_(new QPushButton(QStringLiteral("To..."), this)),
      toEdit_(new QLineEdit(this)),
      ccButton_(new QPushButton(QStringLiteral("Cc..."), this)),
      ccEdit_(new QLineEdit(this)),
      subjectEdit_(new QLineEdit(this)),
      messageEdit_(new QPlainTextEdit(this)),
      sendButton_(new QPushButton(QStringLiteral("Send"), this)),
      hangUpButton_(new QPushButton(QStringLiteral("Hang Up"), this)),
      transcript_(new CTranscriptView(this)),
      settingsHint_(
          new QLabel(QStringLiteral("Fill in Outgoing Mail and E-Mail Address on the Mail page of "
                                    "Customize, then Send."),
                     this)),
      sink_(std::make_unique<CTranscriptSink>(*transcript_)),
      finished_(std::make_unique<FinishedRelay>(*this)),
      dialogue_(std::make_unique<CSmtpDialogue>(*sink_, services.reporter(), *finished_)) {
  toEdit_->setObjectName(QStringLiteral("toEdit"));
  ccEdit_->setObjectName(QStringLiteral("ccEdit"));
  subjectEdit_->setObjectName(QStringLiteral("subjectEdit"));
  messageEdit_->setObjectName(QStringLiteral("messageEdit"));
  transcript_->setObjectName(QStringLiteral("replyBox"));
  new CByteLimitValidator(toEdit_, kSmtpArgumentMaxBytes);
  new CByteLimitValidator(ccEdit_, kSmtpArgumentMaxBytes);

  auto* subjectLabel = new QLabel(QStringLiteral("Subject:"), this);
  subjectLabel->setBuddy(subjectEdit_);
  auto* fields = new QGridLayout;
  fields->addWidget(toButton_, 0, 0);
  fields->addWidget(toEdit_, 0, 1);
  fields->addWidget(ccButton_, 1, 0);
  fields->addWidget(ccEdit_, 1, 1);
  fields->addWidget(subjectLabel, 2, 0);
  fields->addWidget(subjectEdit_, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(sendButton_);
  buttons->addWidget(hangUpButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(messageEdit_, 1);
  layout->addLayout(buttons);
  layout->addWidget(settingsHint_);
  layout->addWidget(transcript_, 1);

  settingsHint_->setObjectName(QStringLiteral("settingsHint"));
  settingsHint_->setTextFormat(Qt::PlainText);
  settingsHint_->setWordWrap(true);
  sendButton_->setDefault(true);
  hangUpButton_->setEnabled(false);
  // The window opens with the cursor in the To field.
  setFocusProxy(toEdit_);
  toEdit_->setFocus();
  setDocumentTitle(QStringLiteral("Mail"));
  connect(toButton_, &QPushButton::clicked, this, [this] { pickInto(toEdit_); });
  connect(ccButton_, &QPushButton::clicked, this, [this] { pickInto(ccEdit_); });
  connect(sendButton_, &QPushButton::clicked, this, &CMailView::send);
  connect(hangUpButton_, &QPushButton::clicked, this, &CMailView::hangUp);
  trustQuestion_ = [this](const TlsHandshakeReport& report, const std::string& host) {
    return AskToTrustCertificate(this, report, host);
  };
  passwordQuestion_ = [this](const std::string& prompt) -> std::optional<std::string> {
    bool ok = false;
    const QString typed = QInputDialog::getText(
        this, QStringLiteral("Mail"), QString::fromStdString(prompt), QLineEdit::Password, {}, &ok);
    if (!ok) return std::nullopt;
    return typed.toUtf8().toStdString();
  };
  readSettings();
}

CMailView::~CMailView() {
  // The worker may be waiting for the transcript: release it before waiting
  // for the worker.
  sink_->detach();
  dialogue_.reset();
}

int CMailView::helpContext() const { return CommandHelpContext(kCmdMail); }

// A Mail key not written yet means the defaults, as everywhere else: empty
// fields, which the hint asks the user to fill in.
bool CMailView::readSettings() {
  settings_ = ReadMailSettings().value_or(MailSettings{});
  server_ = settings_.outgoingMail;
  sender_ = settings_.address;
  const bool complete = !server_.empty() && !sender_.empty();
  settingsHint_->setVisible(!complete);
  return complete;
}

void CMailView::pickInto(QLineEdit* edit) {
  const auto picked = PickAddressFromBook(this, [this](int id) { services().showHelp(id); });
  if (picked) edit->setText(*picked);
}

void CMailView::send() {
  if (running_) return;
  // Settings filled in on the Customize page meanwhile count at once.
  if (!readSettings()) {
    QApplication::beep();
    return;
  }
  SmtpRequest request{server_, sender_, toEdit_->text().toUtf8().toStdString(),
                      ReadNetworkSettings()};
  request.tls = settings_.tls;
  request.port = static_cast<std::uint16_t>(settings_.port);
  request.user = settings_.userName;
  if (request.recipient.empty() || CheckSmtpRequest(request) != SmtpRequestFault::None) {
    toEdit_->setFocus();
    QApplication::beep();
    return;
  }
  const SmtpServerAddress server = ParseSmtpServer(server_, DefaultSmtpPort(request.tls));
  passwordKey_ = {"smtp", server.host, request.port != 0 ? request.port : server.port,
                  request.user};
  if (!request.user.empty()) {
    auto password = passwordFor(passwordKey_);
    if (!password) return;
    request.password = std::move(*password);
  }
  if (!dialogue_->Start(request)) {
    toEdit_->setFocus();
    QApplication::beep();
    return;
  }
  showRunning(true);
}

void CMailView::hangUp() {
  hangUpButton_->setEnabled(false);
  dialogue_->HangUp();
}

void CMailView::onDialogueEnded() {
  dialogue_->Join();
  showRunning(false);
  // A refused password is asked again next time, not offered again.
  if (dialogue_->Stop() == SmtpStop::AuthRefused) passwords().Forget(passwordKey_);
  if (const auto untrusted = dialogue_->TrustFailure()) askTrust(*untrusted);
}

// The keyring is looked for only once a password is needed: a window
// without a user name never talks to it.
IPasswordStore& CMailView::passwords() {
  if (passwords_ == nullptr) passwords_ = &DesktopPasswords();
  return *passwords_;
}

std::optional<std::string> CMailView::passwordFor(const PasswordKey& key) {
  if (auto known = passwords().Find(key)) return known;
  auto typed = passwordQuestion_("Password for " + key.user + " at " + key.host + ":");
  if (typed) passwords().Remember(key, *typed);
  return typed;
}

void CMailView::askTrust(const TlsHandshakeReport& report) {
  const SmtpServerAddress& server = dialogue_->Server();
  if (!trustQuestion_(report, server.host)) return;
  const std::string problem =
      PinCertificate(PinnedCertificatesFile(), server.host, server.port, report.certificate.sha256);
  if (!problem.empty()) {
    ShowPlainError(this, QStringLiteral("Netrove: Mail"), QString::fromStdString(problem));
    return;
  }
  send();
}

void CMailView::showRunning(bool running) {
  running_ = running;
  sendButton_->setEnabled(!running);
  hangUpButton_->setEnabled(running);
  (running ? hangUpButton_ : static_cast<QWidget*>(toEdit_))->setFocus();
  setBusy(running);
}

}  // namespace netrove
