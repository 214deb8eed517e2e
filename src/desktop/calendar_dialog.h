#pragma once
// The "Calendar" dialog of the Tools menu: a month list, a year field with a
// "B.C." box, the calendar control and a caption line naming the month and
// year in large letters. It is a viewer: nothing is stored or returned.
#include <QDialog>

#include "desktop/calendar_date.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace netrove {

class CCalendarCtrl;

class CCalendarDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CCalendarDlg(const CCalendarDate& start, QWidget* parent = nullptr);

  CCalendarCtrl& calendar() { return *calendar_; }
  QComboBox& monthList() { return *monthList_; }
  QLineEdit& yearField() { return *yearField_; }
  QCheckBox& beforeChristBox() { return *beforeChristBox_; }
  QLabel& captionLine() { return *captionLine_; }

 private:
  void onMonthSelected(int index);
  void onBeforeChristClicked(bool checked);
  void onYearEdited();
  // Shows the selected year in the field (without sign) and the box.
  void showYear();
  void refreshCaption();

  CCalendarCtrl* calendar_;
  QComboBox* monthList_;
  QLineEdit* yearField_;
  QCheckBox* beforeChristBox_;
  QLabel* captionLine_;
};

// Tools > Calendar: runs the dialog modally, starting at today's date.
void RunCalendarDialog(QWidget* parent);

}  // namespace netrove
