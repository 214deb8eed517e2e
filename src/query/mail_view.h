#pragma once
// The Mail window: checks that the outgoing mail server accepts mail by
// delivering a fixed test message from the user's own address to the To
// address, showing every reply of the server in the transcript. "Send"
// starts one dialogue at a time and "Hang Up" ends it; while it runs the
// window is busy, so the main window will not close under it, and closing
// the window itself hangs up first.
#include <QString>
#include <memory>
#include <string>

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

 private:
  class FinishedRelay;

  // Reads the Mail page's server and sender; false (and the hint shown)
  // while either is missing.
  bool readSettings();
  void pickInto(QLineEdit* edit);
  void send();
  void hangUp();
  void onDialogueEnded();
  void showRunning(bool running);

  std::string server_;
  std::string sender_;
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
