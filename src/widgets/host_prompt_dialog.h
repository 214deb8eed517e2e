#pragma once
// The small modal prompt in which a tool asks for the host to work with: one
// host edit, "OK", "Cancel" and "Address...", which fills the edit from the
// address book. The caller chooses the caption ("Ping...") and help context.
#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace netrove {

class CHostPromptDlg : public QDialog {
  Q_OBJECT

 public:
  CHostPromptDlg(const QString& caption, int helpContextId, QWidget* parent = nullptr);

  // The host typed or picked; valid after exec() returned Accepted.
  QString hostText() const;
  int helpContextId() const { return helpContextId_; }

 signals:
  // F1 (also from the address book opened by "Address..."); the caller
  // connects it to its help viewer.
  void helpRequested(int contextId);

 public slots:
  // "OK": refuses an empty host with the exclamation sound.
  void accept() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void pickFromAddressBook();

  int helpContextId_;
  QLineEdit* hostEdit_;
  QPushButton* okButton_;
  QPushButton* cancelButton_;
  QPushButton* addressButton_;
};

}  // namespace netrove
