#pragma once
// The Mail window: checks that the outgoing mail server accepts mail by
// delivering a fixed test message from the user's own address to the To
// address, showing every reply of the server in the transcript. "Send"
// starts one dialogue at a time and "Hang Up" ends it; while it runs the
// window is busy, so the main window will not close under it, and closing
// the window itself hangs up first.
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "base/password_store.h"
#include "base/tls.h"
#include "query/mail_settings.h"
#include "widgets/tool_view.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace netrove {

class CSmtpDialogue;
class CTranscriptSink;
class CTranscriptView;

class CMailView : public CToolView {
  Q_OBJECT

 public:
  explicit CMailView(CToolServices& services, QWidget* parent = nullptr);
  ~CMailView() override;

  int helpContext() const override;
  CTranscriptView* printableTranscript() const override { return transcript_; }
  QString printTitle() const override { return QStringLiteral("Mail"); }

  bool isDialogueRunning() const { return running_; }
  const CSmtpDialogue& dialogue() const { return *dialogue_; }

  QLineEdit* toEdit() const { return toEdit_; }
  QLineEdit* ccEdit() const { return ccEdit_; }
  QPushButton* toButton() const { return toButton_; }
  QPushButton* ccButton() const { return ccButton_; }
  QPushButton* sendButton() const { return sendButton_; }
  QPushButton* hangUpButton() const { return hangUpButton_; }
  CTranscriptView* transcript() const { return transcript_; }
  // Shown while the Mail page of Customize lacks the server or the sender.
  QLabel* settingsHint() const { return settingsHint_; }

  // What asks the user about an untrusted certificate (true: trust it) and
  // for a password (nothing: cancelled). Tests answer in place of the boxes.
  using TrustQuestion = std::function<bool(const TlsHandshakeReport&, const std::string& host)>;
  using PasswordQuestion = std::function<std::optional<std::string>(const std::string& prompt)>;
  void setTrustQuestion(TrustQuestion question) { trustQuestion_ = std::move(question); }
  void setPasswordQuestion(PasswordQuestion question) { passwordQuestion_ = std::move(question); }
  void setPasswordStore(IPasswordStore& store) { passwords_ = &store; }

 private:
  class FinishedRelay;

  // Reads the Mail page's server and sender; false (and the hint shown)
  // while either is missing.
  bool readSettings();
  void pickInto(QLineEdit* edit);
  void send();
  void hangUp();
  void onDialogueEnded();
  // The password of the Mail page's user at the server: remembered, or
  // asked and then remembered (in the keyring when one runs).
  std::optional<std::string> passwordFor(const PasswordKey& key);
  IPasswordStore& passwords();
  // Asks about the certificate the last dialogue refused; pins it and sends
  // again when the user trusts it.
  void askTrust(const TlsHandshakeReport& report);
  void showRunning(bool running);

  std::string server_;
  std::string sender_;
  MailSettings settings_;
  PasswordKey passwordKey_;  // of the running dialogue; user empty without AUTH
  TrustQuestion trustQuestion_;
  PasswordQuestion passwordQuestion_;
  IPasswordStore* passwords_ = nullptr;  // DesktopPasswords() unless a test gave one
  bool running_ = false;

  QPushButton* toButton_;
  QLineEdit* toEdit_;
  QPushButton* ccButton_;
  QLineEdit* ccEdit_;
  QLineEdit* subjectEdit_;
  QPlainTextEdit* messageEdit_;
  QPushButton* sendButton_;
  QPushButton* hangUpButton_;
  CTranscriptView* transcript_;
  QLabel* settingsHint_;
  std::unique_ptr<CTranscriptSink> sink_;
  std::unique_ptr<FinishedRelay> finished_;
  std::unique_ptr<CSmtpDialogue> dialogue_;
};

}  // namespace netrove
