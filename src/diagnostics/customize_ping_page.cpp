#include "diagnostics/customize_ping_page.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <string>

#include "base/command_ids.h"
#include "diagnostics/ping_options_form.h"
#include "diagnostics/ping_settings.h"
#include "widgets/arrow_spin_box.h"

namespace netrove {

CCustomizePing::CCustomizePing(QWidget* parent)
    : CCustomizePage(std::string(kPingToolName), parent), options_(new CPingOptionsForm(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(options_);
  layout->addWidget(createSizeAndPositionBox());
  layout->addStretch();

  connect(options_->specifyButton(), &QRadioButton::clicked, this,
          [this] { writeLimitChoice(true); });
  connect(options_->continuousButton(), &QRadioButton::clicked, this,
          [this] { writeLimitChoice(false); });
  bindField(options_->packetsField(), kPacketsToSendValue);
  bindField(options_->sizeField(), kPacketSizeValue);
  bindField(options_->timeoutField(), kReplyTimeOutValue);
  bindField(options_->ttlField(), kTtlValue);
  bindCheckBox(options_->resolveBox(), kResolveAddressValue);
  // A box put back after a failed write must take its field along.
  bindCheckBox(options_->timeToLiveBox(), kTimeToLiveValue, {},
               [this](int) { options_->updateDependentFields(); });
  bindCheckBox(options_->dontRouteBox(), kDontRouteValue);
}

int CCustomizePing::helpContext() const { return CommandHelpContext(kCmdPing); }

void CCustomizePing::loadSettings() {
  const PingSettings settings = ReadPingSettings();
  specifyLimit_ = settings.specifyLimit;
  options_->load(settings);
}

void CCustomizePing::bindField(CArrowSpinBox* field, std::string_view valueName) {
  connect(field, &CArrowSpinBox::valueChanged, this,
          [this, name = std::string(valueName)](int value) {
            writeDword(name, static_cast<std::uint32_t>(value));
          });
}

void CCustomizePing::writeLimitChoice(bool specify) {
  if (writeDword(kSpecifyValue, specify ? 1u : 0u)) {
    specifyLimit_ = specify;
    return;
  }
  // The store refused: the choice stays as it was.
  (specifyLimit_ ? options_->specifyButton() : options_->continuousButton())->setChecked(true);
}

}  // namespace netrove
