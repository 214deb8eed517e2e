#pragma once
// The "Send Request To" group of the NicName/WhoIs window and its Customize
// page: a radio button for each built-in WhoIs server, "Other" with its edit
// and "Address...", which are enabled only while "Other" is selected. The
// "Other" field offers the recent servers kept in the NicName key.
#include <QGroupBox>

#include "query/nicname_settings.h"

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace netrove {

class CRecentHostBox;

class CWhoIsServerGroup : public QGroupBox {
  Q_OBJECT

 public:
  explicit CWhoIsServerGroup(QWidget* parent = nullptr);

  WhoIsServerChoice choice() const;
  // Selects a button without emitting choiceClicked.
  void setChoice(WhoIsServerChoice choice);

  QRadioButton* button(WhoIsServerChoice choice) const;
  CRecentHostBox* otherBox() const { return otherBox_; }
  QLineEdit* otherEdit() const;
  QPushButton* addressButton() const { return addressButton_; }

  // Enables the group's controls; the edit and "Address..." stay disabled
  // unless "Other" is selected.
  void setControlsEnabled(bool enabled);

 signals:
  // The user clicked one of the radio buttons.
  void choiceClicked(WhoIsServerChoice choice);

 private:
  void updateOtherControls();

  QRadioButton* defaultButton_;
  QRadioButton* alternativeButton_;
  QRadioButton* otherButton_;
  CRecentHostBox* otherBox_;
  QPushButton* addressButton_;
  bool enabled_ = true;
};

}  // namespace netrove
