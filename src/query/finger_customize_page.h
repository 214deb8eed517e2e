#pragma once
// The "Finger" page of the Customize sheet: the server and the "/W Query
// Token." default of every new Finger window. The server is written when its
// edit loses the focus and after a pick from the address book; the box when
// it is clicked.
#include "widgets/customize_page.h"

class QLineEdit;
class QPushButton;

namespace netrove {

class IMainWindowReporter;

class CCustomizeFinger : public CCustomizePage {
  Q_OBJECT

 public:
  explicit CCustomizeFinger(IMainWindowReporter& reporter, QWidget* parent = nullptr);

  int helpContext() const override;

  QLineEdit* serverEdit() const { return serverEdit_; }
  QPushButton* addressButton() const { return addressButton_; }
  QCheckBox* queryTokenBox() const { return queryTokenBox_; }

 protected:
  void loadSettings() override;

 private:
  void writeServer();
  void pickServer();

  IMainWindowReporter& reporter_;
  QLineEdit* serverEdit_;
  QPushButton* addressButton_;
  QCheckBox* queryTokenBox_;
};

}  // namespace netrove
