#pragma once
// The "Chat" page of the Customize sheet: saving the chat windows' size and
// position, and closing a chat window by itself when its conversation ends.
// Each box is written the moment it is clicked.
#include "widgets/customize_page.h"

namespace netrove {

class IMainWindowReporter;

class CCustomizeChat : public CCustomizePage {
  Q_OBJECT

 public:
  explicit CCustomizeChat(IMainWindowReporter& reporter, QWidget* parent = nullptr);

  int helpContext() const override;
  QCheckBox* closeOnHangUpBox() const { return closeOnHangUpBox_; }

 protected:
  void loadSettings() override;

 private:
  QCheckBox* closeOnHangUpBox_;
};

}  // namespace netrove
