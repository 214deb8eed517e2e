#include "diagnostics/traceroute_options_form.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>

#include "widgets/arrow_spin_box.h"

namespace netrove {
namespace {

CArrowSpinBox* NewField(SpinRange range, bool wraps, const char* name, QWidget* parent) {
  auto* field = new CArrowSpinBox(range.minimum, range.maximum, parent);
  field->setWrapping(wraps);
  field->setObjectName(QString::fromLatin1(name));
  return field;
}

QCheckBox* NewBox(const char* caption, const char* name, QWidget* parent) {
  auto* box = new QCheckBox(QString::fromLatin1(caption), parent);
  box->setObjectName(QString::fromLatin1(name));
  return box;
}

QLineEdit* NewPortField(QWidget* parent) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QStringLiteral("portField"));
  field->setMaxLength(kDestinationPortDigits);
  field->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
  return field;
}

}  // namespace

CTraceRouteOptionsForm::CTraceRouteOptionsForm(QWidget* parent)
    : QWidget(parent),
      probesField_(NewField(kProbesToSendRange, true, "probesField", this)),
      timeoutField_(NewField(kTraceTimeOutRange, true, "timeoutField", this)),
      initialTtlField_(NewField(kTraceTtlRange, false, "initialTtlField", this)),
      maximumTtlField_(NewField(kTraceTtlRange, false, "maximumTtlField", this)),
      sizeField_(NewField(kProbeSizeRange, true, "sizeField", this)),
      portField_(NewPortField(this)),
      resolveBox_(NewBox("Resolves address to hostname", "resolveBox", this)),
      dontFragmentBox_(NewBox("Do not fragment", "dontFragmentBox", this)),
      dontRouteBox_(NewBox("Do not route", "dontRouteBox", this)),
      verboseBox_(NewBox("Verbose mode", "verboseBox", this)) {
  dontFragmentBox_->setEnabled(false);

  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  const std::pair<const char*, QWidget*> rows[] = {
      {"Number of Probes to Send", probesField_}, {"Reply timeout (seconds)", timeoutField_},
      {"Initial Time to Live", initialTtlField_}, {"Maximum Time to Live", maximumTtlField_},
      {"Probe size (bytes)", sizeField_},         {"Initial Destination Port", portField_}};
  int row = 0;
  for (const auto& [caption, field] : rows) {
    layout->addWidget(new QLabel(QString::fromLatin1(caption), this), row, 0);
    layout->addWidget(field, row++, 1);
  }
  row = 0;
  for (QCheckBox* box : {resolveBox_, dontFragmentBox_, dontRouteBox_, verboseBox_}) {
    layout->addWidget(box, row++, 2);
  }
  layout->setColumnMinimumWidth(1, 80);
  layout->setColumnStretch(2, 1);

  connect(initialTtlField_, &CArrowSpinBox::valueChanged, this,
          [this] { keepTtlOrder(initialTtlField_); });
  connect(maximumTtlField_, &CArrowSpinBox::valueChanged, this,
          [this] { keepTtlOrder(maximumTtlField_); });
  connect(portField_, &QLineEdit::textChanged, this, &CTraceRouteOptionsForm::keepPortInRange);
}

void CTraceRouteOptionsForm::load(const TraceRouteSettings& settings) {
  const QSignalBlocker blockers[] = {
      QSignalBlocker(probesField_),     QSignalBlocker(timeoutField_),
      QSignalBlocker(initialTtlField_), QSignalBlocker(maximumTtlField_),
      QSignalBlocker(sizeField_),       QSignalBlocker(portField_),
      QSignalBlocker(resolveBox_),      QSignalBlocker(dontRouteBox_),
      QSignalBlocker(verboseBox_)};
  probesField_->setValue(settings.probesToSend);
  timeoutField_->setValue(settings.replyTimeOutSeconds);
  maximumTtlField_->setValue(settings.maximumTtl);
  initialTtlField_->setValue(KeptInitialTtl(settings.initialTtl, maximumTtlField_->value()));
  sizeField_->setValue(settings.packetSize);
  portField_->setText(QString::number(std::clamp(
      settings.initialDestPort, kDestinationPortRange.minimum, kDestinationPortRange.maximum)));
  resolveBox_->setChecked(settings.resolveAddress);
  dontRouteBox_->setChecked(settings.dontRoute);
  verboseBox_->setChecked(settings.verbose);
}

TraceRouteSettings CTraceRouteOptionsForm::values() const {
  TraceRouteSettings settings;
  settings.probesToSend = probesField_->value();
  settings.replyTimeOutSeconds = timeoutField_->value();
  settings.initialTtl = initialTtlField_->value();
  settings.maximumTtl = maximumTtlField_->value();
  settings.packetSize = sizeField_->value();
  settings.initialDestPort = destinationPort();
  settings.resolveAddress = resolveBox_->isChecked();
  settings.dontRoute = dontRouteBox_->isChecked();
  settings.verbose = verboseBox_->isChecked();
  return settings;
}

std::int32_t CTraceRouteOptionsForm::destinationPort() const {
  return KeptDestinationPort(portField_->text().toStdString());
}

void CTraceRouteOptionsForm::setEditable(bool editable) {
  for (QWidget* control : std::initializer_list<QWidget*>{
           probesField_, timeoutField_, initialTtlField_, maximumTtlField_, sizeField_, portField_,
           resolveBox_, dontRouteBox_, verboseBox_}) {
    control->setEnabled(editable);
  }
}

void CTraceRouteOptionsForm::keepTtlOrder(CArrowSpinBox* changed) {
  const int initial = initialTtlField_->value();
  const int maximum = maximumTtlField_->value();
  if (changed == maximumTtlField_) {
    maximumTtlField_->setValue(KeptMaximumTtl(maximum, initial));
  } else {
    initialTtlField_->setValue(KeptInitialTtl(initial, maximum));
  }
}

void CTraceRouteOptionsForm::keepPortInRange() {
  QString digits = portField_->text();
  while (digits.startsWith(QLatin1Char('0'))) digits.remove(0, 1);
  const QString kept = QString::number(destinationPort());
  // Leading zeros of a valid port stay as typed; 0, nothing and too much
  // are replaced.
  if (digits != kept) portField_->setText(kept);
}

}  // namespace netrove
