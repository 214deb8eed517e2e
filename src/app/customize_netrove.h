#pragma once
// The Customize sheet's general page: the main window's switches.
#include <cstdint>
#include <string_view>

#include "widgets/customize_page.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace netrove {

class IShellContext;

inline constexpr const char* kAlwaysOnTopLabel = "Always on Top.";
inline constexpr const char* kDisplayClockLabel = "Display the clock.";
inline constexpr const char* kAnswerPeersLabel =
    "Answer chat calls (TCP 17321) and broadcasts (UDP 17322).";

class CCustomizeNetrove : public CCustomizePage {
  Q_OBJECT

 public:
  explicit CCustomizeNetrove(IShellContext& shell, QWidget* parent = nullptr);

  int helpContext() const override;

  QCheckBox* sizeAndPositionBox() const { return sizeAndPosition_; }
  QCheckBox* alwaysOnTopBox() const { return alwaysOnTop_; }
  QCheckBox* clockBox() const { return clock_; }
  QSpinBox* connectTimeoutField() const { return connectTimeout_; }
  QSpinBox* replyTimeoutField() const { return replyTimeout_; }
  QComboBox* addressFamilyBox() const { return addressFamily_; }
  QCheckBox* answerPeersBox() const { return answerPeers_; }
  // 0: every interface, 1: this computer only.
  QComboBox* listenAddressBox() const { return listenAddress_; }

 protected:
  void loadSettings() override;

 private:
  IShellContext& shell_;
  QCheckBox* sizeAndPosition_;
  QCheckBox* alwaysOnTop_;
  QCheckBox* clock_;
  QSpinBox* connectTimeout_;
  QSpinBox* replyTimeout_;
  QComboBox* addressFamily_;
  QCheckBox* answerPeers_;
  QComboBox* listenAddress_;

  QWidget* createListenerGroup();
  void writeListenerValue(std::string_view valueName, std::uint32_t value);
};

}  // namespace netrove
