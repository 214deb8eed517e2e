#pragma once
// The pages of the newsreader's "Preferences" sheet. Each value is written
// the moment its control changes, except the window layout, which is
// written when the sheet is applied.
#include <QFont>
#include <QString>

#include "news/news_settings.h"
#include "news/news_settings_page.h"

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace netrove {

// Shown in place of an empty e-mail address.
inline constexpr const char* kPlaceholderAddress = "yourname@host.domain";
inline constexpr const char* kPlaceholderOrganization = "Your Organization";
inline constexpr const char* kPlaceholderFullName = "Full Name";

// A folder field with its "Browse..." button.
class CNewsFolderPage : public CNewsSettingsPage {
  Q_OBJECT

 public:
  using CNewsSettingsPage::CNewsSettingsPage;
  QLineEdit* folderField() const { return folder_; }
  QPushButton* browseButton() const { return browse_; }

 protected:
  QWidget* createFolderRow(std::string_view valueName);

 private:
  void browse();

  QLineEdit* folder_ = nullptr;
  QPushButton* browse_ = nullptr;
};

class CCustomizeNNTPArticle : public CNewsFolderPage {
  Q_OBJECT

 public:
  CCustomizeNNTPArticle(NewsStoreFailure reportFailure, QWidget* parent = nullptr);

  QComboBox* retrieveList() const { return retrieve_; }
  QLineEdit* thresholdField() const { return threshold_; }
  QSpinBox* checkIntervalBox() const { return checkInterval_; }
  QLabel* fontLabel() const { return fontLabel_; }
  // The font dialog's answer, as if chosen there.
  void applyFont(const QFont& font);

 protected:
  void loadSettings() override;

 private:
  void chooseFont();
  void chooseColour(QPushButton* button, std::string_view valueName);
  void writeThreshold();
  void showColour(QPushButton* button, NewsColour colour);

  QPushButton* fontButton_;
  QLabel* fontLabel_;
  QComboBox* retrieve_;
  QLineEdit* threshold_;
  QSpinBox* checkInterval_;
  QPushButton* unreadColour_;
  QPushButton* readColour_;
  std::uint32_t storedThreshold_ = 0;
  std::uint32_t storedInterval_ = 0;
  NewsColour unread_ = 0;
  NewsColour read_ = 0;
};

class CCustomizeNNTPNewsgroups : public CNewsFolderPage {
  Q_OBJECT

 public:
  CCustomizeNNTPNewsgroups(NewsStoreFailure reportFailure, QWidget* parent = nullptr);
  QComboBox* retrieveList() const { return retrieve_; }
  QComboBox* displayList() const { return display_; }

 protected:
  void loadSettings() override;

 private:
  QComboBox* retrieve_;
  QComboBox* display_;
};

class CCustomizeNNTPPostingHeaders : public CNewsSettingsPage {
  Q_OBJECT

 public:
  CCustomizeNNTPPostingHeaders(NewsStoreFailure reportFailure, QWidget* parent = nullptr);

 protected:
  void loadSettings() override;

 private:
  QCheckBox* saveSize_;
  QCheckBox* savePlacement_;
};

class CCustomizeNNTPUser : public CNewsSettingsPage {
  Q_OBJECT

 public:
  CCustomizeNNTPUser(NewsStoreFailure reportFailure, QWidget* parent = nullptr);

  QLineEdit* fullNameField() const { return fullName_; }
  QLineEdit* addressField() const { return address_; }
  QLineEdit* organizationField() const { return organization_; }
  QComboBox* fromList() const { return from_; }
  QComboBox* replyToList() const { return replyTo_; }

 protected:
  void loadSettings() override;

 private:
  void fullNameEdited(const QString& text);
  void rebuildLists();

  QLineEdit* fullName_;
  QLineEdit* address_;
  QComboBox* from_;
  QComboBox* replyTo_;
  QLineEdit* organization_;
};

class CCustomizeNNTPWindowLayout : public CNewsSettingsPage {
  Q_OBJECT

 public:
  CCustomizeNNTPWindowLayout(NewsStoreFailure reportFailure, QWidget* parent = nullptr);

  QButtonGroup* layoutButtons() const { return layouts_; }
  QButtonGroup* contentsButtons() const { return contents_; }
  // Writes the layout and contents chosen, if either changed.
  void apply();

 protected:
  void loadSettings() override;

 private:
  void drawContentsPictures();

  QButtonGroup* layouts_;
  QButtonGroup* contents_;
  QCheckBox* savePlacement_;
  std::uint32_t storedLayout_ = kNewsFirstLayout;
  std::uint32_t storedContents_ = kNewsFirstContents;
};

}  // namespace netrove
