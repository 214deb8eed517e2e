#pragma once
// The "Newsreader" page of the Customize sheet: the news server and port,
// how it is secured and whom to sign in as, how long the server has for a
// reply, the newsreader window's placement
// switch and the way to the Preferences.
#include "news/news_settings_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace netrove {

inline constexpr const char* kNewsreaderPageNote =
    "Note: The information below is needed before you can read newsgroups. If you do not know "
    "the information, please contact your System Administrator or Internet Service Provider.";

class CCustomizeNNTP : public CNewsSettingsPage {
  Q_OBJECT

 public:
  CCustomizeNNTP(NewsStoreFailure reportFailure, QWidget* parent = nullptr);

  QLineEdit* serverField() const { return server_; }
  QLineEdit* portField() const { return port_; }
  QSpinBox* timeoutField() const { return timeout_; }
  QComboBox* tlsField() const { return tls_; }
  QLineEdit* userField() const { return user_; }
  QCheckBox* plainSignInBox() const { return plainSignIn_; }
  QPushButton* addressButton() const { return address_; }
  QPushButton* defaultButton() const { return default_; }
  QPushButton* preferencesButton() const { return preferences_; }

 protected:
  void loadSettings() override;

 private:
  void pickServer();
  void portEdited(const QString& text);
  void setPort(std::uint32_t port);
  // The port of the chosen TLS mode.
  std::uint32_t usualPort() const;

  QLineEdit* server_;
  QLineEdit* port_;
  QComboBox* tls_;
  QLineEdit* user_;
  QCheckBox* plainSignIn_;
  QSpinBox* timeout_;
  QPushButton* address_;
  QPushButton* default_;
  QPushButton* preferences_;
  NewsStoreFailure reportFailure_;
  std::uint32_t storedPort_ = 0;
};

}  // namespace netrove
