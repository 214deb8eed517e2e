#pragma once
// The "FTP" page of the Customize sheet: window placement, the editor that
// opens transferred files, the bell and verbose options, the server's port,
// the reply time-out, TLS and the firewall proxy. Each value is written the moment its control
// changes (the editor path and the port when their field is left).
#include "widgets/customize_page.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace netrove {

class IMainWindowReporter;
class CFtpTlsChoice;

class CCustomizeFTP : public CCustomizePage {
  Q_OBJECT

 public:
  explicit CCustomizeFTP(IMainWindowReporter& reporter, QWidget* parent = nullptr);

  int helpContext() const override;
  QLineEdit* editorEdit() const { return editor_; }
  QPushButton* browseButton() const { return browse_; }
  QCheckBox* bellBox() const { return bell_; }
  QCheckBox* verboseBox() const { return verbose_; }
  // Off: a folder transfer goes on past a failed file.
  QCheckBox* folderStopBox() const { return folderStop_; }
  QLineEdit* portEdit() const { return port_; }
  QPushButton* wellKnownButton() const { return wellKnown_; }
  QSpinBox* timeoutBox() const { return timeout_; }
  CFtpTlsChoice* tlsChoice() const { return tls_; }
  QCheckBox* proxyBox() const { return proxy_; }
  QPushButton* settingsButton() const { return settings_; }

 protected:
  void loadSettings() override;
  // The dialogs, as seams for the tests.
  virtual QString chooseEditor();
  virtual void runProxySettings();

 private:
  void writeEditor();
  void browseEditor();
  void checkPort(const QString& text);
  void storePort();
  void setWellKnownPort();
  void followProxy(bool on);
  void storeTimeout(int seconds);

  IMainWindowReporter& reporter_;
  QLineEdit* editor_;
  QPushButton* browse_;
  QCheckBox* bell_;
  QCheckBox* verbose_;
  QCheckBox* folderStop_;
  QLineEdit* port_;
  QPushButton* wellKnown_;
  QSpinBox* timeout_;
  CFtpTlsChoice* tls_;
  QCheckBox* proxy_;
  QPushButton* settings_;
};

}  // namespace netrove
