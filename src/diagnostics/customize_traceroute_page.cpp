#include "diagnostics/customize_traceroute_page.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <cerrno>
#include <string>

#include "base/command_ids.h"
#include "base/tool_message.h"
#include "diagnostics/traceroute_options_form.h"
#include "diagnostics/traceroute_settings.h"
#include "widgets/arrow_spin_box.h"

namespace netrove {

CCustomizeTraceRoute::CCustomizeTraceRoute(IMainWindowReporter& reporter, QWidget* parent)
    : CCustomizePage(std::string(kTraceRouteToolName), parent),
      reporter_(reporter),
      options_(new CTraceRouteOptionsForm(this)),
      sizeAndPositionBox_(new QCheckBox(QString::fromLatin1(kSaveSizeAndPositionLabel), this)) {
  sizeAndPositionBox_->setObjectName(QStringLiteral("sizeAndPositionBox"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(options_);
  layout->addWidget(sizeAndPositionBox_);
  layout->addStretch();

  bindField(options_->probesField(), kTraceProbesToSendValue);
  bindField(options_->timeoutField(), kTraceReplyTimeOutValue);
  bindField(options_->initialTtlField(), kTraceInitialTtlValue);
  bindField(options_->maximumTtlField(), kTraceMaximumTtlValue);
  bindField(options_->sizeField(), kTracePacketSizeValue);
  connect(options_->portField(), &QLineEdit::editingFinished, this,
          &CCustomizeTraceRoute::writePort);
  bindBox(options_->resolveBox(), kTraceResolveAddressValue);
  bindBox(options_->dontRouteBox(), kTraceDontRouteValue);
  bindBox(options_->verboseBox(), kTraceVerboseValue);
  bindBox(sizeAndPositionBox_, "SizeAndPosition");
}

int CCustomizeTraceRoute::helpContext() const { return CommandHelpContext(kCmdTraceRoute); }

void CCustomizeTraceRoute::loadSettings() {
  options_->load(ReadTraceRouteSettings());
  loadCheckBox(sizeAndPositionBox_, "SizeAndPosition");
  for (auto& [field, value] : stored_) value = field->value();
  storedPort_ = options_->destinationPort();
}

// The field's current value is written, not the signal's: a change that
// broke the time-to-live order has been put right by then.
void CCustomizeTraceRoute::bindField(CArrowSpinBox* field, std::string_view valueName) {
  stored_[field] = field->value();
  connect(field, &CArrowSpinBox::valueChanged, this, [this, field, name = std::string(valueName)] {
    const int value = field->value();
    if (writeDword(name, static_cast<std::uint32_t>(value))) {
      stored_[field] = value;
      return;
    }
    const int error = errno;
    const QSignalBlocker blocker(field);
    field->setValue(stored_[field]);
    reporter_.PostSystemError(error);
  });
}

void CCustomizeTraceRoute::bindBox(QCheckBox* box, std::string_view valueName) {
  bindCheckBox(box, valueName, {}, [this](int error) { reporter_.PostSystemError(error); });
}

void CCustomizeTraceRoute::writePort() {
  const std::int32_t port = options_->destinationPort();
  if (port == storedPort_) return;
  if (writeDword(kTraceInitialDestPortValue, static_cast<std::uint32_t>(port))) {
    storedPort_ = port;
    return;
  }
  const int error = errno;
  const QSignalBlocker blocker(options_->portField());
  options_->portField()->setText(QString::number(storedPort_));
  reporter_.PostSystemError(error);
}

}  // namespace netrove
