#pragma once
// The small modal prompt in which a tool asks for the host to work with: one
// host field, "OK", "Cancel" and "Address...", which fills the field from the
// address book. The caller chooses the caption ("Ping...") and help context.
// The field is an editable drop-down of the tool's recent hosts, most
// recent first.
#include <QDialog>
#include <QString>
#include <string>

class QPushButton;

namespace netrove {

class CRecentHostBox;

class CHostPromptDlg : public QDialog {
  Q_OBJECT

 public:
  CHostPromptDlg(const QString& caption, int helpContextId, QWidget* parent = nullptr);

  // The host typed or picked; valid after exec() returned Accepted.
  QString hostText() const;
  // Offers the recent hosts kept in the tool's settings key and, on OK,
  // puts the accepted host at their head.
  void useRecentHosts(const std::string& toolKey);
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
  CRecentHostBox* hostBox_;
  QPushButton* okButton_;
  QPushButton* cancelButton_;
  QPushButton* addressButton_;
};

}  // namespace netrove
