#pragma once
// The "Address Book" dialog. Manage mode (Tools menu) edits the book; pick
// mode (every "Address..." button) also returns the chosen entry's address.
// The dialog is collapsed to the list while browsing and expands to show the
// entry fields while an entry is added or updated.
#include <QDialog>
#include <QString>
#include <filesystem>
#include <functional>
#include <optional>

#include "base/address_book.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace netrove {

class CAddressBookDlg : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { kManage, kPick };
  static constexpr int kHelpContextId = 0x1800A;

  // The boxes the dialog opens; tests replace them.
  struct Prompts {
    // "Are you sure you want to delete this entry?"; true for Yes.
    std::function<bool(QWidget* parent)> confirmDelete;
    // A problem with the book's file.
    std::function<void(QWidget* parent, const QString& text)> showMessage;
  };
  static Prompts StandardPrompts();

  explicit CAddressBookDlg(Mode mode, QWidget* parent = nullptr,
                           Prompts prompts = StandardPrompts());
  // Saves a changed book that was not saved by done() (the dialog destroyed
  // while open).
  ~CAddressBookDlg() override;

  Mode mode() const { return mode_; }
  // Pick mode: the address of the entry chosen with OK.
  QString pickedAddress() const { return picked_; }
  bool isEditing() const { return editing_; }
  bool isModified() const { return modified_; }
  // The text reported about the book's file when it was read, if any.
  QString loadProblem() const { return loadProblem_; }

 signals:
  void helpRequested(int contextId);

 public slots:
  // "OK": commits the entry being edited, or (pick mode) picks the selection.
  void accept() override;
  // The second button ("Close"/"Cancel", also Esc): abandons the entry being
  // edited, or ends the dialog.
  void reject() override;
  // Writes the book when it changed, however the dialog ends.
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  enum class EditKind { kAdd, kUpdate };

  void buildWidgets();
  void showInitialState();
  void startAdd();
  void startUpdate();
  void expandFor(EditKind kind);
  void deleteSelected();
  void commitEntry();
  void cancelEntry();
  void collapse();
  void enableEntryFields(bool enabled);
  void entryEdited();
  void setRecordButtonsEnabled(bool enabled);
  void focusAfterBrowsingResumes();
  bool saveIfModified(QString* problem);
  std::optional<std::size_t> selectedIndex() const;

  Mode mode_;
  Prompts prompts_;
  std::filesystem::path file_;
  AddressBook loaded_;  // as read from the file
  AddressBook book_;    // as edited here
  bool modified_ = false;
  bool editing_ = false;
  bool shownOnce_ = false;
  EditKind editKind_ = EditKind::kAdd;
  std::size_t updatedIndex_ = 0;
  QString picked_;
  QString loadProblem_;

  QListWidget* list_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QPushButton* secondButton_ = nullptr;
  QPushButton* addButton_ = nullptr;
  QPushButton* updateButton_ = nullptr;
  QPushButton* deleteButton_ = nullptr;
  QGroupBox* entryGroup_ = nullptr;
  QLabel* nameLabel_ = nullptr;
  QLabel* addressLabel_ = nullptr;
  QLineEdit* nameEdit_ = nullptr;
  QLineEdit* addressEdit_ = nullptr;
};

// Tools ▸ Address Book: the dialog in manage mode. `onHelp` receives F1.
void RunAddressBook(QWidget* parent, const std::function<void(int)>& onHelp = {});

// Every "Address..." button: the dialog in pick mode; the picked address, or
// nothing when the user cancelled.
std::optional<QString> PickAddressFromBook(QWidget* parent,
                                           const std::function<void(int)>& onHelp = {});

// A stored text as the user sees it: UTF-8, or Latin-1 for bytes that are not
// UTF-8 (a book written in another 8-bit character set).
QString AddressBookDisplayText(const std::string& stored);

}  // namespace netrove
