#pragma once
// The run options of Ping as the window and its Customize page both show
// them: the number of packets, size, timeout, name look-up, time-to-live and
// the routing boxes.
#include <QWidget>

#include "diagnostics/ping_settings.h"

class QCheckBox;
class QRadioButton;

namespace netrove {

class CArrowSpinBox;

class CPingOptionsForm : public QWidget {
  Q_OBJECT

 public:
  explicit CPingOptionsForm(QWidget* parent = nullptr);

  // Shows the values without emitting any change.
  void load(const PingSettings& settings);
  PingSettings values() const;
  // All options editable (idle) or none (a run in progress). "Do not
  // fragment" is never editable; the limit and time-to-live fields follow
  // their switches.
  void setEditable(bool editable);
  // Enables the limit and time-to-live fields as their switches stand.
  void updateDependentFields();

  QRadioButton* specifyButton() const { return specifyButton_; }
  QRadioButton* continuousButton() const { return continuousButton_; }
  CArrowSpinBox* packetsField() const { return packetsField_; }
  CArrowSpinBox* sizeField() const { return sizeField_; }
  CArrowSpinBox* timeoutField() const { return timeoutField_; }
  CArrowSpinBox* ttlField() const { return ttlField_; }
  QCheckBox* resolveBox() const { return resolveBox_; }
  QCheckBox* timeToLiveBox() const { return timeToLiveBox_; }
  QCheckBox* dontFragmentBox() const { return dontFragmentBox_; }
  QCheckBox* dontRouteBox() const { return dontRouteBox_; }

 private:
  QRadioButton* specifyButton_;
  QRadioButton* continuousButton_;
  CArrowSpinBox* packetsField_;
  CArrowSpinBox* sizeField_;
  CArrowSpinBox* timeoutField_;
  CArrowSpinBox* ttlField_;
  QCheckBox* resolveBox_;
  QCheckBox* timeToLiveBox_;
  QCheckBox* dontFragmentBox_;
  QCheckBox* dontRouteBox_;
  bool editable_ = true;
};

}  // namespace netrove
