#pragma once
// The "TFTP" page of the Customize sheet: starts and stops the background
// server, chooses the one folder it serves, its port and whether clients may
// create files, and shows the server's latest log lines. Each value is written
// the moment its control changes.
#include <string_view>

#include "widgets/customize_page.h"

class QCheckBox;
class QGridLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace netrove {

class ITftpServer;

class CCustomizeTFTP : public CCustomizePage {
  Q_OBJECT

 public:
  // `server` is the program's background server; nullptr leaves the
  // server's controls disabled.
  explicit CCustomizeTFTP(ITftpServer* server, QWidget* parent = nullptr);

  int helpContext() const override;
  QCheckBox* startBox() const { return startBox_; }
  QCheckBox* allowCreateBox() const { return allowCreateBox_; }
  QLineEdit* folderEdit() const { return folderEdit_; }
  QSpinBox* portField() const { return portField_; }
  QSpinBox* clientTimeoutField() const { return clientTimeoutField_; }
  QSpinBox* blockSizeField() const { return blockSizeField_; }
  QSpinBox* windowSizeField() const { return windowSizeField_; }
  QSpinBox* rexmtField() const { return rexmtField_; }
  QPlainTextEdit* logView() const { return logView_; }
  // Shows the server's log as it is now.
  void refreshLog();

 protected:
  void loadSettings() override;
  // The folder dialog, as a seam for the tests.
  virtual QString chooseFolder(const QString& current);

 private:
  void switchServer(bool on);
  // A field of an option the client asks for: 0 shows "Not asked".
  QSpinBox* addOptionField(QGridLayout* layout, int row, const QString& label, int highest,
                           std::string_view valueName);
  void browseFolder();

  ITftpServer* server_;
  QCheckBox* startBox_;
  QCheckBox* allowCreateBox_;
  QLineEdit* folderEdit_;
  QPushButton* folderButton_;
  QSpinBox* portField_;
  QPlainTextEdit* logView_;
  QSpinBox* clientTimeoutField_;
  QSpinBox* blockSizeField_ = nullptr;
  QSpinBox* windowSizeField_ = nullptr;
  QSpinBox* rexmtField_ = nullptr;
};

}  // namespace netrove
