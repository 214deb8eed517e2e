#include "desktop/calendar_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "desktop/calendar_ctrl.h"

namespace netrove {
namespace {

QPoint CentreOfDay(const CCalendarCtrl& control, int day) {
  const MonthGrid grid =
      BuildMonthGrid(control.selectedDate().month(), control.selectedDate().year());
  const CalendarCell* cell = FindCell(grid, day);
  const GridPoint centre = control.cellGeometry().dayFrame(cell->row, cell->column).centre();
  return {centre.x, centre.y};
}

class CalendarControl : public ::testing::Test {
 protected:
  void Open(int month, int day, int year) {
    control_ = std::make_unique<CCalendarCtrl>(CCalendarDate(month, day, year));
    control_->resize(control_->sizeHint());
    control_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(control_.get()));
  }
  int Day() const { return control_->selectedDate().day(); }
  void Press(Qt::Key key) { QTest::keyClick(control_.get(), key); }

  std::unique_ptr<CCalendarCtrl> control_;
};

TEST_F(CalendarControl, ArrowKeysWrapBetweenRowsAndStopAtTheMonthsEnds) {
  Open(10, 16, 1582);  // a Saturday
  Press(Qt::Key_Right);
  EXPECT_EQ(Day(), 17);
  Press(Qt::Key_Left);
  EXPECT_EQ(Day(), 16);
  Press(Qt::Key_Left);
  Press(Qt::Key_Left);
  EXPECT_EQ(Day(), 4);  // the ten days of the reform are skipped
  Press(Qt::Key_Down);
  EXPECT_EQ(Day(), 21);
  Press(Qt::Key_Up);
  Press(Qt::Key_Up);
  EXPECT_EQ(Day(), 4);  // no row above the first
  control_->setMonth(11);
  EXPECT_EQ(Day(), 4);
  for (int i = 0; i < 4; ++i) Press(Qt::Key_Down);
  EXPECT_EQ(Day(), 25);
  Press(Qt::Key_Down);
  EXPECT_EQ(Day(), 25);
  Press(Qt::Key_Right);
  Press(Qt::Key_Right);
  EXPECT_EQ(Day(), 27);
  Press(Qt::Key_Right);
  Press(Qt::Key_Right);
  Press(Qt::Key_Right);
  Press(Qt::Key_Right);
  EXPECT_EQ(Day(), 30);  // the last day
  EXPECT_EQ(control_->selectedDate(), CCalendarDate(11, 30, 1582));
}

TEST_F(CalendarControl, ClicksSelectADayInsideItsFrameAndTakeTheFocus) {
  Open(3, 1, 2024);
  control_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(control_.get()));
  QTest::mouseClick(control_.get(), Qt::LeftButton, {}, CentreOfDay(*control_, 20));
  EXPECT_EQ(Day(), 20);
  EXPECT_TRUE(control_->hasFocus());
  const QPoint margin =
      CentreOfDay(*control_, 21) - QPoint(control_->cellGeometry().cellWidth() / 2 - 1, 0);
  QTest::mouseClick(control_.get(), Qt::LeftButton, {}, margin);
  EXPECT_EQ(Day(), 20);
  QTest::mouseClick(control_.get(), Qt::LeftButton, {}, QPoint(5, 5));  // a heading
  EXPECT_EQ(Day(), 20);
  QTest::mouseClick(control_.get(), Qt::RightButton, {}, CentreOfDay(*control_, 22));
  EXPECT_EQ(Day(), 20);
}

TEST_F(CalendarControl, ChangingMonthOrYearLowersTheDayUntilItExists) {
  Open(3, 31, 2023);
  EXPECT_TRUE(control_->setMonth(2));
  EXPECT_EQ(control_->selectedDate(), CCalendarDate(2, 28, 2023));
  Open(3, 31, 2024);
  EXPECT_TRUE(control_->setMonth(2));
  EXPECT_EQ(control_->selectedDate(), CCalendarDate(2, 29, 2024));
  EXPECT_TRUE(control_->setYear(2023));
  EXPECT_EQ(control_->selectedDate(), CCalendarDate(2, 28, 2023));
  EXPECT_TRUE(control_->setMonth(2));  // unchanged
  EXPECT_FALSE(control_->setYear(0));
  EXPECT_FALSE(control_->setYear(-4714));
  EXPECT_FALSE(control_->setYear(1465191));
  EXPECT_EQ(control_->selectedDate(), CCalendarDate(2, 28, 2023));
  Open(9, 10, 1582);
  EXPECT_TRUE(control_->setMonth(10));
  EXPECT_EQ(control_->selectedDate(), CCalendarDate(10, 4, 1582));
}

class CalendarDialog : public ::testing::Test {
 protected:
  void Open(int month, int day, int year) {
    dialog_ = std::make_unique<CCalendarDlg>(CCalendarDate(month, day, year));
    dialog_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
    dialog_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
  }
  const CCalendarDate& Selected() { return dialog_->calendar().selectedDate(); }
  QString Caption() { return dialog_->captionLine().text(); }
  // Types a year and moves the focus on, as the user does with the Tab key.
  void TypeYear(const char* text) {
    dialog_->yearField().setFocus();
    dialog_->yearField().selectAll();
    QTest::keyClicks(&dialog_->yearField(), QString::fromLatin1(text));
    dialog_->calendar().setFocus();
  }

  std::unique_ptr<CCalendarDlg> dialog_;
};

TEST_F(CalendarDialog, OpensOnTheGivenDateWithItsCaption) {
  Open(10, 15, 1582);
  EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Calendar"));
  EXPECT_EQ(dialog_->monthList().currentText(), QStringLiteral("October"));
  EXPECT_EQ(dialog_->monthList().count(), 12);
  EXPECT_EQ(dialog_->yearField().text(), QStringLiteral("1582"));
  EXPECT_FALSE(dialog_->beforeChristBox().isChecked());
  EXPECT_EQ(Caption(), QStringLiteral("October   A.D. 1582"));
  const QFont caption = dialog_->captionLine().font();
  EXPECT_EQ(caption.family(), QStringLiteral("Arial"));
  EXPECT_EQ(caption.weight(), QFont::Bold);
  EXPECT_DOUBLE_EQ(caption.pointSizeF(), dialog_->font().pointSizeF() * 3);

  if (const QByteArray folder = qgetenv("NETROVE_SCREENSHOT_DIR"); !folder.isEmpty()) {
    dialog_->calendar().setFocus();
    QTest::qWait(50);
    const QString file =
        QDir(QString::fromLocal8Bit(folder)).filePath(QStringLiteral("calendar.png"));
    EXPECT_TRUE(dialog_->grab().save(file));
  }
}

TEST_F(CalendarDialog, BeforeChristBoxAndMonthListChangeTheDate) {
  Open(3, 15, 44);
  QTest::mouseClick(&dialog_->beforeChristBox(), Qt::LeftButton);
  EXPECT_EQ(Selected(), CCalendarDate(3, 15, -44));
  EXPECT_EQ(Caption(), QStringLiteral("March   44 B.C."));
  EXPECT_EQ(dialog_->yearField().text(), QStringLiteral("44"));
  dialog_->monthList().setCurrentIndex(1);
  EXPECT_EQ(Selected(), CCalendarDate(2, 15, -44));
  EXPECT_EQ(Caption(), QStringLiteral("February   44 B.C."));
  TypeYear("1");  // 1 B.C., while the box stays checked
  EXPECT_EQ(Selected(), CCalendarDate(2, 15, -1));
  QTest::mouseClick(&dialog_->beforeChristBox(), Qt::LeftButton);
  EXPECT_EQ(Selected(), CCalendarDate(2, 15, 1));
  EXPECT_EQ(Caption(), QStringLiteral("February   A.D. 1"));
  TypeYear("-5");  // a signed year sets the box
  EXPECT_EQ(Selected(), CCalendarDate(2, 15, -5));
  EXPECT_TRUE(dialog_->beforeChristBox().isChecked());
  EXPECT_EQ(dialog_->yearField().text(), QStringLiteral("5"));
}

TEST_F(CalendarDialog, RefusedYearsRestoreTheFieldAndKeepTheFocusThere) {
  Open(7, 4, 1776);
  for (const char* refused : {"0", "1465191", "4714x", "-"}) {
    TypeYear(refused);
    EXPECT_EQ(dialog_->yearField().text(), QStringLiteral("1776")) << refused;
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog_->yearField().hasFocus(); })) << refused;
    EXPECT_EQ(Selected(), CCalendarDate(7, 4, 1776));
  }
  TypeYear("4714");
  EXPECT_EQ(Caption(), QStringLiteral("July   A.D. 4714"));
  QTest::mouseClick(&dialog_->beforeChristBox(), Qt::LeftButton);  // 4714 B.C. does not exist
  EXPECT_FALSE(dialog_->beforeChristBox().isChecked());
  EXPECT_EQ(Selected(), CCalendarDate(7, 4, 4714));
}

}  // namespace
}  // namespace netrove
