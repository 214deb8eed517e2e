#pragma once
// The "Ping" page of the Customize sheet: the defaults every new Ping window
// (and netrove-cli ping) starts from. Each value is written the moment its
// control changes.
#include "widgets/customize_page.h"

namespace netrove {

class CArrowSpinBox;
class CPingOptionsForm;

class CCustomizePing : public CCustomizePage {
  Q_OBJECT

 public:
  explicit CCustomizePing(QWidget* parent = nullptr);

  int helpContext() const override;
  CPingOptionsForm* options() const { return options_; }

 protected:
  void loadSettings() override;

 private:
  void bindField(CArrowSpinBox* field, std::string_view valueName);
  void writeLimitChoice(bool specify);

  CPingOptionsForm* options_;
  bool specifyLimit_ = true;  // the choice the store holds
};

}  // namespace netrove
