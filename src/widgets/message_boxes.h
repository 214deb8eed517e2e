#pragma once
// The message boxes the shell shows, behind an interface so that tests can
// record them instead of blocking on a modal box.
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

}  // namespace netrove
