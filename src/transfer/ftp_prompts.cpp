#include "transfer/ftp_prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

#include "transfer/ftp_dialogs.h"
#include "widgets/message_boxes.h"

namespace netrove {

bool CFtpPrompts::askYesNo(QWidget* owner, const QString& text) {
  return AskPlainYesNo(owner, QStringLiteral("Netrove"), text);
}

ExistingChoice CFtpPrompts::askExisting(QWidget* owner, const QString& name, bool folder) {
  QMessageBox box(owner);
  box.setWindowTitle(QStringLiteral("Netrove"));
  box.setIcon(QMessageBox::Question);
  // The name comes from a listing or the disk: never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(folder ? QStringLiteral("The folder '%1' exists already.\n\nFor each of its files "
                                      "that exists on both sides: Resume adds what is missing, "
                                      "Overwrite replaces it, Skip leaves it as it is.")
                           .arg(name)
                     : QStringLiteral("'%1' exists already (whole or in part).\n\nResume adds "
                                      "what is missing, Overwrite replaces it, Skip leaves it "
                                      "as it is.")
                           .arg(name));
  QPushButton* resume = box.addButton(QStringLiteral("&Resume"), QMessageBox::AcceptRole);
  QPushButton* overwrite =
      box.addButton(QStringLiteral("&Overwrite"), QMessageBox::DestructiveRole);
  QPushButton* skip = box.addButton(QStringLiteral("&Skip"), QMessageBox::RejectRole);
  box.setDefaultButton(skip);
  box.setEscapeButton(skip);
  box.exec();
  if (box.clickedButton() == resume) return ExistingChoice::Resume;
  if (box.clickedButton() == overwrite) return ExistingChoice::Overwrite;
  return ExistingChoice::Skip;
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

std::optional<QString> CFtpPrompts::askPassword(QWidget* owner, const QString& prompt) {
  bool ok = false;
  const QString typed =
      QInputDialog::getText(owner, QStringLiteral("FTP"), prompt, QLineEdit::Password, {}, &ok);
  if (!ok) return std::nullopt;
  return typed;
}

}  // namespace netrove
