#include "diagnostics/ping_options_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>

#include "widgets/arrow_spin_box.h"

namespace netrove {
namespace {

CArrowSpinBox* NewField(SpinRange range, const char* name, QWidget* parent) {
  auto* field = new CArrowSpinBox(range.minimum, range.maximum, parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setMinimumWidth(80);
  return field;
}

QCheckBox* NewBox(const char* caption, const char* name, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

}  // namespace

CPingOptionsForm::CPingOptionsForm(QWidget* parent)
    : QWidget(parent),
      specifyButton_(new QRadioButton(QStringLiteral("Specify the maximum number"))),
      continuousButton_(new QRadioButton(QStringLiteral("Continue until interrupted"))),
      packetsField_(NewField(kPacketsToSendRange, "packetsField", this)),
      sizeField_(NewField(kPacketSizeRange, "sizeField", this)),
      timeoutField_(NewField(kReplyTimeOutRange, "timeoutField", this)),
      ttlField_(NewField(kTtlRange, "ttlField", this)),
      resolveBox_(NewBox("Resolves address to hostname", "resolveBox", this)),
      timeToLiveBox_(NewBox("Time To Live", "timeToLiveBox", this)),
      dontFragmentBox_(NewBox("Do not fragment", "dontFragmentBox", this)),
      dontRouteBox_(NewBox("Do not route", "dontRouteBox", this)) {
  specifyButton_->setObjectName(QStringLiteral("specifyButton"));
  continuousButton_->setObjectName(QStringLiteral("continuousButton"));
  auto* radios = new QButtonGroup(this);
  radios->addButton(specifyButton_);
  radios->addButton(continuousButton_);
  dontFragmentBox_->setEnabled(false);

  auto* packets = new QGroupBox(QStringLiteral("Number of Packets to Send"), this);
  auto* packetsLayout = new QGridLayout(packets);
  packetsLayout->addWidget(specifyButton_, 0, 0);
  packetsLayout->addWidget(packetsField_, 0, 1);
  packetsLayout->addWidget(continuousButton_, 1, 0, 1, 2);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(packets, 0, 0, 1, 2);
  layout->addWidget(new QLabel(QStringLiteral("Packet size (bytes)"), this), 1, 0);
  layout->addWidget(sizeField_, 1, 1);
  layout->addWidget(new QLabel(QStringLiteral("Reply timeout (seconds)"), this), 2, 0);
  layout->addWidget(timeoutField_, 2, 1);
  layout->addWidget(resolveBox_, 3, 0, 1, 2);
  layout->addWidget(timeToLiveBox_, 4, 0);
  layout->addWidget(ttlField_, 4, 1);
  layout->addWidget(dontFragmentBox_, 5, 0, 1, 2);
  layout->addWidget(dontRouteBox_, 6, 0, 1, 2);
  layout->setColumnStretch(2, 1);

  connect(specifyButton_, &QRadioButton::toggled, this, &CPingOptionsForm::updateDependentFields);
  connect(timeToLiveBox_, &QCheckBox::toggled, this, &CPingOptionsForm::updateDependentFields);
  updateDependentFields();
}

void CPingOptionsForm::load(const PingSettings& settings) {
  const QSignalBlocker blockers[] = {
      QSignalBlocker(specifyButton_), QSignalBlocker(continuousButton_),
      QSignalBlocker(packetsField_),  QSignalBlocker(sizeField_),
      QSignalBlocker(timeoutField_),  QSignalBlocker(ttlField_),
      QSignalBlocker(resolveBox_),    QSignalBlocker(timeToLiveBox_),
      QSignalBlocker(dontRouteBox_)};
  (settings.specifyLimit ? specifyButton_ : continuousButton_)->setChecked(true);
  packetsField_->setValue(settings.packetsToSend);
  sizeField_->setValue(settings.packetSize);
  timeoutField_->setValue(settings.replyTimeOutSeconds);
  resolveBox_->setChecked(settings.resolveAddress);
  timeToLiveBox_->setChecked(settings.setTimeToLive);
  ttlField_->setValue(settings.timeToLive);
  dontRouteBox_->setChecked(settings.dontRoute);
  updateDependentFields();
}

PingSettings CPingOptionsForm::values() const {
  PingSettings settings;
  settings.specifyLimit = specifyButton_->isChecked();
  settings.packetsToSend = packetsField_->value();
  settings.packetSize = sizeField_->value();
  settings.replyTimeOutSeconds = timeoutField_->value();
  settings.resolveAddress = resolveBox_->isChecked();
  settings.setTimeToLive = timeToLiveBox_->isChecked();
  settings.timeToLive = ttlField_->value();
  settings.dontRoute = dontRouteBox_->isChecked();
  return settings;
}

void CPingOptionsForm::setEditable(bool editable) {
  editable_ = editable;
  for (QWidget* control :
       std::initializer_list<QWidget*>{specifyButton_, continuousButton_, sizeField_, timeoutField_,
                                       resolveBox_, timeToLiveBox_, dontRouteBox_}) {
    control->setEnabled(editable);
  }
  updateDependentFields();
}

void CPingOptionsForm::updateDependentFields() {
  packetsField_->setEnabled(editable_ && specifyButton_->isChecked());
  ttlField_->setEnabled(editable_ && timeToLiveBox_->isChecked());
}

}  // namespace netrove
