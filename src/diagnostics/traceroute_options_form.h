#pragma once
// The run options of traceroute as the window and its Customize page both
// show them: probes, timeout, the two time-to-live values, probe size, the
// first destination port and the four boxes. The form keeps the fields'
// rules itself: the time-to-live fields never cross and the port stays a
// port.
#include <QWidget>

#include "diagnostics/traceroute_settings.h"

class QCheckBox;
class QLineEdit;

namespace netrove {

class CArrowSpinBox;

class CTraceRouteOptionsForm : public QWidget {
  Q_OBJECT

 public:
  explicit CTraceRouteOptionsForm(QWidget* parent = nullptr);

  // Shows the values without emitting any change.
  void load(const TraceRouteSettings& settings);
  TraceRouteSettings values() const;
  // The port as its field stands, after the field's rule.
  std::int32_t destinationPort() const;
  // All options editable (idle) or none (a run in progress); "Do not
  // fragment" is never editable.
  void setEditable(bool editable);

  CArrowSpinBox* probesField() const { return probesField_; }
  CArrowSpinBox* timeoutField() const { return timeoutField_; }
  CArrowSpinBox* initialTtlField() const { return initialTtlField_; }
  CArrowSpinBox* maximumTtlField() const { return maximumTtlField_; }
  CArrowSpinBox* sizeField() const { return sizeField_; }
  QLineEdit* portField() const { return portField_; }
  QCheckBox* resolveBox() const { return resolveBox_; }
  QCheckBox* dontFragmentBox() const { return dontFragmentBox_; }
  QCheckBox* dontRouteBox() const { return dontRouteBox_; }
  QCheckBox* verboseBox() const { return verboseBox_; }

 private:
  void keepTtlOrder(CArrowSpinBox* changed);
  void keepPortInRange();

  CArrowSpinBox* probesField_;
  CArrowSpinBox* timeoutField_;
  CArrowSpinBox* initialTtlField_;
  CArrowSpinBox* maximumTtlField_;
  CArrowSpinBox* sizeField_;
  QLineEdit* portField_;
  QCheckBox* resolveBox_;
  QCheckBox* dontFragmentBox_;
  QCheckBox* dontRouteBox_;
  QCheckBox* verboseBox_;
};

}  // namespace netrove
