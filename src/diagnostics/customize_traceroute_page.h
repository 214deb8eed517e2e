#pragma once
// The "traceroute" page of the Customize sheet: the defaults every new
// traceroute window (and netrove-cli traceroute) starts from. Each value is
// written the moment its control changes; when the store refuses, the
// control takes its former value back and the main window shows the
// system's error.
#include <map>

#include "widgets/customize_page.h"

class QCheckBox;

namespace netrove {

class CArrowSpinBox;
class CTraceRouteOptionsForm;
class IMainWindowReporter;

class CCustomizeTraceRoute : public CCustomizePage {
  Q_OBJECT

 public:
  explicit CCustomizeTraceRoute(IMainWindowReporter& reporter, QWidget* parent = nullptr);

  int helpContext() const override;
  CTraceRouteOptionsForm* options() const { return options_; }
  QCheckBox* sizeAndPositionBox() const { return sizeAndPositionBox_; }

 protected:
  void loadSettings() override;

 private:
  void bindField(CArrowSpinBox* field, std::string_view valueName);
  void bindBox(QCheckBox* box, std::string_view valueName);
  void writePort();

  IMainWindowReporter& reporter_;
  CTraceRouteOptionsForm* options_;
  QCheckBox* sizeAndPositionBox_;
  // The value each field holds in the store, to go back to.
  std::map<CArrowSpinBox*, int> stored_;
  std::int32_t storedPort_ = 0;
};

}  // namespace netrove
