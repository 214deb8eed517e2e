#include "transfer/ftp_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenu>

#include "transfer/ftp_dialogs.h"
#include "widgets/message_boxes.h"

namespace netrove {

bool CFtpPrompts::askYesNo(QWidget* owner, const QString& text) {
  return AskPlainYesNo(owner, QStringLiteral("Netrove"), text);
}

void CFtpPrompts::beep() { QApplication::beep(); }

DropChoice CFtpPrompts::chooseDrop(QWidget* owner, const QPoint& global, bool copyEnabled) {
  QMenu menu(owner);
  QAction* move = menu.addAction(QStringLiteral("Move Here"));
  QAction* copy = menu.addAction(QStringLiteral("Copy Here"));
  copy->setEnabled(copyEnabled);
  menu.addSeparator();
  menu.addAction(QStringLiteral("Cancel"));
  const QAction* chosen = menu.exec(global);
  if (chosen == move) return DropChoice::Move;
  if (chosen == copy) return DropChoice::Copy;
  return DropChoice::Cancel;
}

QString CFtpPrompts::chooseEditor(QWidget* owner) {
  return QFileDialog::getOpenFileName(owner, QStringLiteral("Select an Editor"), {},
                                      QStringLiteral("All Files (*)"));
}

std::optional<QString> CFtpPrompts::askArgument(QWidget* owner, const QString& title) {
  CFtpArgumentDlg dialog(title, owner);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.argument();
}

std::optional<QString> CFtpPrompts::askHelpKeyword(QWidget* owner) {
  CFtpHelpCommandDlg dialog(owner);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.keyword();
}

}  // namespace netrove
