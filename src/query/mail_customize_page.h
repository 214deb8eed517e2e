#pragma once
// The "Mail" page of the Customize sheet: the user's name and mail address
// and the mail servers. Each field is written to the "Mail" key when it
// loses the focus; the fields hold as many bytes as the store keeps for
// them, and stored values are read whole.
#include "widgets/customize_page.h"

class QComboBox;
class QLineEdit;
class QSpinBox;

namespace netrove {

inline constexpr const char* kMailPageNote =
    "Note: The information below is needed before you can receive mail. If you do not know the "
    "information, please contact your System Administrator or Internet Service Provider.";

class CCustomizeMail : public CCustomizePage {
  Q_OBJECT

 public:
  explicit CCustomizeMail(QWidget* parent = nullptr);

  int helpContext() const override;

  QLineEdit* nameEdit() const { return nameEdit_; }
  QLineEdit* addressEdit() const { return addressEdit_; }
  QLineEdit* userNameEdit() const { return userNameEdit_; }
  QLineEdit* outgoingEdit() const { return outgoingEdit_; }
  QLineEdit* incomingEdit() const { return incomingEdit_; }
  // The outgoing server's port (0: the security choice's own) and the TLS
  // choice, in the order off, if offered, required, from the first byte.
  QSpinBox* portSpin() const { return portSpin_; }
  QComboBox* securityBox() const { return securityBox_; }

 protected:
  void loadSettings() override;

 private:
  QLineEdit* addField(std::string_view valueName, std::size_t maxBytes);

  QLineEdit* nameEdit_;
  QLineEdit* addressEdit_;
  QLineEdit* userNameEdit_;
  QLineEdit* outgoingEdit_;
  QLineEdit* incomingEdit_;
  QSpinBox* portSpin_;
  QComboBox* securityBox_;
};

}  // namespace netrove
