#include "desktop/calendar_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>

#include "desktop/calendar_ctrl.h"
#include "desktop/calendar_grid.h"

namespace netrove {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The dialog's font three times as tall, bold, in Arial.
QFont CaptionFont(QFont font) {
  font.setFamily(QStringLiteral("Arial"));
  font.setWeight(QFont::Bold);
  if (font.pointSizeF() > 0) {
    font.setPointSizeF(font.pointSizeF() * 3);
  } else {
    font.setPixelSize(font.pixelSize() * 3);
  }
  return font;
}

}  // namespace

CCalendarDlg::CCalendarDlg(const CCalendarDate& start, QWidget* parent)
    : QDialog(parent),
      calendar_(new CCalendarCtrl(start, this)),
      monthList_(new QComboBox(this)),
      yearField_(new QLineEdit(this)),
      beforeChristBox_(new QCheckBox(QStringLiteral("B.C."), this)),
      captionLine_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("Calendar"));
  // Modal to the main window only, so the help it opens stays usable.
  setWindowModality(Qt::WindowModal);
  for (int month = 1; month <= 12; ++month) monthList_->addItem(ToQString(kMonthNames[month]));
  monthList_->setCurrentIndex(start.month() - 1);
  monthList_->setAccessibleName(QStringLiteral("Month"));
  yearField_->setAccessibleName(QStringLiteral("Year"));
  yearField_->setMaxLength(8);
  yearField_->setFixedWidth(
      yearField_->fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 12);
  captionLine_->setFont(CaptionFont(font()));
  captionLine_->setAlignment(Qt::AlignCenter);
  showYear();
  refreshCaption();

  auto* buttons =
      new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Vertical, this);
  auto* choice = new QHBoxLayout;
  choice->addWidget(monthList_);
  choice->addWidget(yearField_);
  choice->addWidget(beforeChristBox_);
  choice->addStretch();
  auto* body = new QGridLayout(this);
  body->addWidget(captionLine_, 0, 0, 1, 2);
  body->addLayout(choice, 1, 0);
  body->addWidget(calendar_, 2, 0);
  body->addWidget(buttons, 1, 1, 2, 1, Qt::AlignTop);
  body->setSizeConstraint(QLayout::SetFixedSize);

  connect(monthList_, &QComboBox::currentIndexChanged, this, &CCalendarDlg::onMonthSelected);
  connect(beforeChristBox_, &QCheckBox::clicked, this, &CCalendarDlg::onBeforeChristClicked);
  connect(yearField_, &QLineEdit::editingFinished, this, &CCalendarDlg::onYearEdited);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  calendar_->setFocus();
}

void CCalendarDlg::onMonthSelected(int index) {
  calendar_->setMonth(index + 1);
  refreshCaption();
}

void CCalendarDlg::onBeforeChristClicked(bool checked) {
  // Only 4714 A.D. and later have no B.C. counterpart; the box then springs
  // back so it never contradicts the year shown.
  if (!calendar_->setYear(-calendar_->selectedDate().year())) {
    beforeChristBox_->setChecked(!checked);
    QApplication::beep();
    return;
  }
  refreshCaption();
}

void CCalendarDlg::onYearEdited() {
  bool isNumber = false;
  int year = yearField_->text().trimmed().toInt(&isNumber);
  if (!isNumber) year = 0;
  if (beforeChristBox_->isChecked()) year = -year;
  if (!calendar_->setYear(year)) {
    showYear();
    QApplication::beep();
    // Queued: the focus is still moving to the widget that took it.
    QTimer::singleShot(0, yearField_, [field = yearField_] {
      field->setFocus(Qt::OtherFocusReason);
      field->selectAll();
    });
    return;
  }
  showYear();
  refreshCaption();
}

void CCalendarDlg::showYear() {
  const int year = calendar_->selectedDate().year();
  yearField_->setText(QString::number(std::abs(year)));
  beforeChristBox_->setChecked(year < 0);
}

void CCalendarDlg::refreshCaption() {
  const CCalendarDate& date = calendar_->selectedDate();
  captionLine_->setText(QString::fromStdString(CalendarCaption(date.month(), date.year())));
}

void RunCalendarDialog(QWidget* parent) {
  CCalendarDlg dialog{CCalendarDate(), parent};
  dialog.exec();
}

}  // namespace netrove
