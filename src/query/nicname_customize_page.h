#pragma once
// The "NicName/WhoIs" page of the Customize sheet: the server every new
// NicName/WhoIs window starts with. A radio click writes the choice at once;
// the "Other" server is written when its edit loses the focus and after a
// pick from the address book.
#include "query/nicname_settings.h"
#include "widgets/customize_page.h"

class QCheckBox;

namespace netrove {

class CWhoIsServerGroup;
class IMainWindowReporter;

class CCustomizeNicName : public CCustomizePage {
  Q_OBJECT

 public:
  explicit CCustomizeNicName(IMainWindowReporter& reporter, QWidget* parent = nullptr);

  int helpContext() const override;
  CWhoIsServerGroup* serverGroup() const { return serverGroup_; }
  QCheckBox* stopAtFirstBox() const { return stopAtFirstBox_; }

 protected:
  void loadSettings() override;

 private:
  void writeChoice(WhoIsServerChoice choice);
  void writeOtherServer();
  void pickOtherServer();
  void loadOtherServer();

  IMainWindowReporter& reporter_;
  CWhoIsServerGroup* serverGroup_;
  QCheckBox* stopAtFirstBox_;
  WhoIsServerChoice storedChoice_ = WhoIsServerChoice::Default;
};

}  // namespace netrove
