#pragma once
// The small dialogs of the FTP window and its Customize page: the argument
// dialog of SITE and STAT, the keyword choice of HELP and the proxy settings.
#include <QDialog>

#include "base/password_store.h"
#include "transfer/ftp_connection.h"

class QButtonGroup;
class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace netrove {

class IMainWindowReporter;

// One "Argument:" edit; OK only with text in it, Cancel the default before.
class CFtpArgumentDlg : public QDialog {
  Q_OBJECT

 public:
  CFtpArgumentDlg(const QString& title, QWidget* parent = nullptr);
  QString argument() const;
  QLineEdit* argumentEdit() const { return edit_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 private:
  void followText(const QString& text);

  QLineEdit* edit_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

// "FTP Help Command": the keywords a server may explain, the first chosen.
class CFtpHelpCommandDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CFtpHelpCommandDlg(QWidget* parent = nullptr);
  QString keyword() const;
  QComboBox* keywordBox() const { return combo_; }
  QPushButton* okButton() const { return ok_; }

 private:
  QComboBox* combo_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

// "FTP Proxy Settings": where the firewall is and how it is passed.
class CFtpProxySettingsDlg : public QDialog {
  Q_OBJECT

 public:
  // The proxy's password goes to `passwords`, never to the settings file.
  CFtpProxySettingsDlg(IMainWindowReporter& reporter, IPasswordStore& passwords,
                       QWidget* parent = nullptr);

  QLineEdit* addressEdit() const { return address_; }
  QLineEdit* portEdit() const { return port_; }
  QLineEdit* userEdit() const { return user_; }
  QLineEdit* passwordEdit() const { return password_; }
  QPushButton* addressButton() const { return addressButton_; }
  // The radio button of a stored access mode (1134..1138).
  QRadioButton* modeButton(int mode) const;

 public slots:
  void accept() override;

 protected:
  // MessageBeep for an empty required field; a seam for the tests.
  virtual void beep();

 private:
  void load();
  void followMode();
  int checkedMode() const;
  bool requireFilled(QLineEdit* edit);
  void pickAddress();
  // The proxy and user the controls name, as a login would.
  FtpLogin proxyLogin() const;

  IMainWindowReporter& reporter_;
  IPasswordStore& passwords_;
  QLineEdit* address_;
  QPushButton* addressButton_;
  QLineEdit* port_;
  QLineEdit* user_;
  QLineEdit* password_;
  QButtonGroup* modes_;
};

}  // namespace netrove
