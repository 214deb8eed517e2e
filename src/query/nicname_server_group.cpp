#include "query/nicname_server_group.h"

#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "query/query_request.h"
#include "widgets/recent_host_box.h"

namespace netrove {

CWhoIsServerGroup::CWhoIsServerGroup(QWidget* parent)
    : QGroupBox(QStringLiteral("Send Request To"), parent),
      defaultButton_(new QRadioButton(QString::fromLatin1(kDefaultWhoIsServer.caption), this)),
      alternativeButton_(
          new QRadioButton(QString::fromLatin1(kAlternativeWhoIsServer.caption), this)),
      otherButton_(new QRadioButton(QStringLiteral("Other"), this)),
      otherBox_(new CRecentHostBox(std::string(kNicNameToolName), this)),
      addressButton_(new QPushButton(QStringLiteral("Address..."), this)) {
  defaultButton_->setObjectName(QStringLiteral("defaultServerButton"));
  alternativeButton_->setObjectName(QStringLiteral("alternativeServerButton"));
  otherButton_->setObjectName(QStringLiteral("otherServerButton"));
  otherBox_->setObjectName(QStringLiteral("otherServerBox"));
  otherEdit()->setObjectName(QStringLiteral("otherServerEdit"));
  otherEdit()->setMaxLength(kServerTextLimit);
  addressButton_->setObjectName(QStringLiteral("addressButton"));
  defaultButton_->setChecked(true);

  auto* layout = new QGridLayout(this);
  layout->addWidget(defaultButton_, 0, 0, 1, 3);
  layout->addWidget(alternativeButton_, 1, 0, 1, 3);
  layout->addWidget(otherButton_, 2, 0);
  layout->addWidget(otherBox_, 2, 1);
  layout->addWidget(addressButton_, 2, 2);
  layout->setColumnStretch(1, 1);

  for (const auto choice :
       {WhoIsServerChoice::Default, WhoIsServerChoice::Alternative, WhoIsServerChoice::Other}) {
    connect(button(choice), &QRadioButton::clicked, this, [this, choice] {
      updateOtherControls();
      emit choiceClicked(choice);
    });
  }
  updateOtherControls();
}

WhoIsServerChoice CWhoIsServerGroup::choice() const {
  if (defaultButton_->isChecked()) return WhoIsServerChoice::Default;
  if (alternativeButton_->isChecked()) return WhoIsServerChoice::Alternative;
  return WhoIsServerChoice::Other;
}

QLineEdit* CWhoIsServerGroup::otherEdit() const { return otherBox_->lineEdit(); }

void CWhoIsServerGroup::setChoice(WhoIsServerChoice choice) {
  button(choice)->setChecked(true);
  updateOtherControls();
}

QRadioButton* CWhoIsServerGroup::button(WhoIsServerChoice choice) const {
  switch (choice) {
    case WhoIsServerChoice::Default:
      return defaultButton_;
    case WhoIsServerChoice::Alternative:
      return alternativeButton_;
    case WhoIsServerChoice::Other:
      break;
  }
  return otherButton_;
}

void CWhoIsServerGroup::setControlsEnabled(bool enabled) {
  enabled_ = enabled;
  for (QWidget* radio : {defaultButton_, alternativeButton_, otherButton_}) {
    radio->setEnabled(enabled);
  }
  updateOtherControls();
}

void CWhoIsServerGroup::updateOtherControls() {
  const bool other = enabled_ && otherButton_->isChecked();
  otherBox_->setEnabled(other);
  addressButton_->setEnabled(other);
}

}  // namespace netrove
