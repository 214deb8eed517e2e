#pragma once
// The message boxes the shell shows, behind an interface so that tests can
// record them instead of blocking on a modal box. Every box shows its text as
// plain text: the texts carry what servers, datagrams and files said, and Qt
// would otherwise guess that a text starting with a tag is HTML and load the
// images and links it names.
#include <QString>

class QWidget;

namespace netrove {

class IMessageBoxes {
 public:
  virtual ~IMessageBoxes() = default;
  // An information box with an OK button; returns when it is closed.
  virtual void information(QWidget* owner, const QString& caption, const QString& text) = 0;
  // A Yes/No question with the question icon and No as the default button.
  virtual bool askYesNo(QWidget* owner, const QString& caption, const QString& text) = 0;
};

// Real modal boxes.
class CMessageBoxes : public IMessageBoxes {
 public:
  void information(QWidget* owner, const QString& caption, const QString& text) override;
  bool askYesNo(QWidget* owner, const QString& caption, const QString& text) override;
};

// The only ways the widgets open a box: its texts shown as plain text.
void ShowPlainInformation(QWidget* owner, const QString& caption, const QString& text);
void ShowPlainError(QWidget* owner, const QString& caption, const QString& text);
// A Yes/No question; `note`, when given, is shown under the question.
enum class DefaultAnswer { No, Yes };
bool AskPlainYesNo(QWidget* owner, const QString& caption, const QString& text,
                   DefaultAnswer defaultAnswer = DefaultAnswer::No, const QString& note = {});

}  // namespace netrove
