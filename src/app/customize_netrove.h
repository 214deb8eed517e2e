#pragma once
// The Customize sheet's general page: the main window's switches.
#include "widgets/customize_page.h"

class QCheckBox;
class QSpinBox;

namespace netrove {

class IShellContext;

inline constexpr const char* kAlwaysOnTopLabel = "Always on Top.";
inline constexpr const char* kDisplayClockLabel = "Display the clock.";

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

 protected:
  void loadSettings() override;

 private:
  IShellContext& shell_;
  QCheckBox* sizeAndPosition_;
  QCheckBox* alwaysOnTop_;
  QCheckBox* clock_;
  QSpinBox* connectTimeout_;
  QSpinBox* replyTimeout_;
};

}  // namespace netrove
