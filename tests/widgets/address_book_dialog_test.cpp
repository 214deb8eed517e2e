#include "widgets/address_book_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <iterator>

#include "support/file_bytes.h"
#include "support/scoped_home.h"
#include "widgets/host_prompt_dialog.h"

namespace netrove {
namespace {

using Mode = CAddressBookDlg::Mode;

std::string Archive(std::vector<AddressBookRecord> records) {
  return EncodeAddressBook(AddressBook(std::move(records)));
}

// A dialog on screen with its widgets, and the boxes it asked for recorded.
class AddressBookDialog : public ::testing::Test {
 protected:
  void Seed(std::vector<AddressBookRecord> records) {
    ASSERT_EQ(SaveAddressBook(AddressBookPath(), AddressBook(std::move(records))), "");
  }

  void Open(Mode mode) {
    CAddressBookDlg::Prompts prompts;
    prompts.confirmDelete = [this](QWidget*) {
      ++deleteQuestions_;
      return answerYes_;
    };
    prompts.showMessage = [this](QWidget*, const QString& text) { messages_.push_back(text); };
    dialog_ = std::make_unique<CAddressBookDlg>(mode, nullptr, prompts);
    dialog_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog_.get()));
    dialog_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
  }

  QPushButton* Button(const char* name) {
    return dialog_->findChild<QPushButton*>(QString::fromLatin1(name));
  }
  QLineEdit* Edit(const char* name) {
    return dialog_->findChild<QLineEdit*>(QString::fromLatin1(name));
  }
  QListWidget* List() { return dialog_->findChild<QListWidget*>(QStringLiteral("nameList")); }
  QGroupBox* Group() { return dialog_->findChild<QGroupBox*>(QStringLiteral("entryGroup")); }
  QWidget* Focus() { return dialog_->focusWidget(); }

  void Click(const char* name) {
    QPushButton* button = Button(name);
    ASSERT_TRUE(button->isVisible() && button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }

  std::vector<QString> ListNames() {
    std::vector<QString> names;
    for (int row = 0; row < List()->count(); ++row) names.push_back(List()->item(row)->text());
    return names;
  }

  void AddEntry(const QString& name, const QString& host) {
    Click("addButton");
    QTest::keyClicks(Edit("nameEdit"), name);
    QTest::keyClicks(Edit("addressEdit"), host);
    Click("okButton");
  }

  test::ScopedHome home_;
  std::unique_ptr<CAddressBookDlg> dialog_;
  int deleteQuestions_ = 0;
  bool answerYes_ = true;
  std::vector<QString> messages_;
};

TEST_F(AddressBookDialog, ManageModeOpensCollapsedWithCloseAndFocusOnAdd) {
  Seed({{"one", "1"}, {"two", "2"}});
  Open(Mode::kManage);
  EXPECT_EQ(dialog_->windowTitle(), QStringLiteral("Address Book"));
  EXPECT_FALSE(Button("okButton")->isVisible());
  EXPECT_EQ(Button("secondButton")->text(), QStringLiteral("Close"));
  EXPECT_EQ(Button("addButton")->text(), QStringLiteral("Add >>"));
  EXPECT_EQ(Button("updateButton")->text(), QStringLiteral("Update >>"));
  EXPECT_EQ(Button("deleteButton")->text(), QStringLiteral("Delete"));
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_EQ(Focus(), Button("addButton"));
  EXPECT_FALSE(Group()->isVisible());
  EXPECT_LE(dialog_->height(), List()->geometry().bottom() + 30);
}

TEST_F(AddressBookDialog, PickModeFocusesOkAndPicksTheSelectedAddress) {
  Seed({{"one", "1.1.1.1"}, {"two", "2.2.2.2"}});
  Open(Mode::kPick);
  EXPECT_EQ(Button("secondButton")->text(), QStringLiteral("Cancel"));
  EXPECT_EQ(Focus(), Button("okButton"));
  List()->setCurrentRow(1);
  Click("okButton");
  EXPECT_EQ(dialog_->result(), QDialog::Accepted);
  EXPECT_EQ(dialog_->pickedAddress(), QStringLiteral("2.2.2.2"));
}

TEST_F(AddressBookDialog, EmptyBookDisablesEverythingButAdd) {
  Open(Mode::kPick);
  EXPECT_FALSE(Button("okButton")->isEnabled());
  EXPECT_FALSE(Button("updateButton")->isEnabled());
  EXPECT_FALSE(Button("deleteButton")->isEnabled());
  EXPECT_EQ(Focus(), Button("addButton"));
}

TEST_F(AddressBookDialog, AddExpandsAndCommitsInSortedOrder) {
  Open(Mode::kManage);
  const int collapsedHeight = dialog_->height();
  Click("addButton");
  EXPECT_TRUE(dialog_->isEditing());
  EXPECT_GT(dialog_->height(), collapsedHeight);
  EXPECT_TRUE(Group()->isVisible());
  EXPECT_EQ(Group()->title(), QStringLiteral("New Address"));
  for (const char* name : {"addButton", "updateButton", "deleteButton"}) {
    EXPECT_FALSE(Button(name)->isVisible()) << name;
  }
  EXPECT_TRUE(Button("okButton")->isVisible() && Button("okButton")->isEnabled());
  EXPECT_EQ(Button("secondButton")->text(), QStringLiteral("Cancel"));
  EXPECT_FALSE(List()->isEnabled());
  EXPECT_EQ(Focus(), Edit("nameEdit"));

  QTest::keyClicks(Edit("nameEdit"), QStringLiteral("beta"));
  QTest::keyClicks(Edit("addressEdit"), QStringLiteral("b.example"));
  Click("okButton");
  EXPECT_FALSE(dialog_->isEditing());
  EXPECT_EQ(dialog_->height(), collapsedHeight);
  EXPECT_FALSE(Button("okButton")->isVisible());
  EXPECT_EQ(Button("secondButton")->text(), QStringLiteral("Close"));
  EXPECT_TRUE(Button("updateButton")->isEnabled() && Button("deleteButton")->isEnabled());
  EXPECT_EQ(Focus(), Button("addButton"));
  EXPECT_TRUE(Edit("nameEdit")->text().isEmpty());

  AddEntry(QStringLiteral("Alpha"), QStringLiteral("a.example"));
  AddEntry(QStringLiteral("gamma"), QStringLiteral("10.0.0.3"));
  EXPECT_EQ(ListNames(), (std::vector<QString>{QStringLiteral("Alpha"), QStringLiteral("beta"),
                                               QStringLiteral("gamma")}));
  EXPECT_EQ(List()->currentRow(), 2);
  EXPECT_FALSE(std::filesystem::exists(AddressBookPath()));  // written on close only
  Click("secondButton");
  AddressBook expected;
  for (const auto& record : std::vector<AddressBookRecord>{
           {"beta", "b.example"}, {"Alpha", "a.example"}, {"gamma", "10.0.0.3"}}) {
    expected.Insert(record);
  }
  EXPECT_EQ(test::ReadFileBytes(AddressBookPath()), EncodeAddressBook(expected));
}

TEST_F(AddressBookDialog, OkWithAnEmptyFieldFocusesItAndStoresNothing) {
  Open(Mode::kManage);
  Click("addButton");
  Click("okButton");
  EXPECT_EQ(Focus(), Edit("nameEdit"));
  QTest::keyClicks(Edit("nameEdit"), QStringLiteral("name"));
  Click("okButton");
  EXPECT_EQ(Focus(), Edit("addressEdit"));
  EXPECT_TRUE(dialog_->isEditing());
  EXPECT_EQ(List()->count(), 0);
  EXPECT_FALSE(dialog_->isModified());
}

TEST_F(AddressBookDialog, UpdateNeedsAChangeAndMovesTheEntry) {
  Seed({{"Alpha", "a"}, {"beta", "b"}, {"gamma", "c"}});
  Open(Mode::kPick);
  List()->setCurrentRow(0);
  Click("updateButton");
  EXPECT_EQ(Group()->title(), QStringLiteral("Update Address"));
  EXPECT_EQ(Edit("nameEdit")->text(), QStringLiteral("Alpha"));
  EXPECT_EQ(Edit("addressEdit")->text(), QStringLiteral("a"));
  EXPECT_TRUE(Button("okButton")->isVisible());
  EXPECT_FALSE(Button("okButton")->isEnabled());
  EXPECT_EQ(Focus(), Edit("nameEdit"));

  Edit("nameEdit")->selectAll();
  QTest::keyClicks(Edit("nameEdit"), QStringLiteral("zeta"));
  EXPECT_TRUE(Button("okButton")->isEnabled());
  EXPECT_TRUE(Button("okButton")->isDefault());
  Click("okButton");
  EXPECT_EQ(ListNames(), (std::vector<QString>{QStringLiteral("beta"), QStringLiteral("gamma"),
                                               QStringLiteral("zeta")}));
  EXPECT_EQ(List()->currentRow(), 2);
  EXPECT_EQ(Focus(), Button("okButton"));
  Click("okButton");
  EXPECT_EQ(dialog_->pickedAddress(), QStringLiteral("a"));
  // Changes made while picking are saved as well.
  EXPECT_EQ(LoadAddressBook(AddressBookPath()).book.at(2).name, "zeta");
}

TEST_F(AddressBookDialog, SecondButtonAbandonsTheEntry) {
  Seed({{"one", "1"}});
  Open(Mode::kPick);
  Click("updateButton");
  QTest::keyClicks(Edit("nameEdit"), QStringLiteral("x"));
  Click("secondButton");
  EXPECT_FALSE(dialog_->isEditing());
  EXPECT_TRUE(dialog_->isVisible());
  EXPECT_FALSE(Group()->isVisible());
  EXPECT_TRUE(Edit("nameEdit")->text().isEmpty());
  EXPECT_EQ(ListNames(), std::vector<QString>{QStringLiteral("one")});
  // OK must not stay disabled from the update: there is still an entry to pick.
  EXPECT_TRUE(Button("okButton")->isEnabled());
  EXPECT_TRUE(Button("addButton")->isVisible());
  QTest::keyClick(dialog_.get(), Qt::Key_Escape);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(dialog_->result(), QDialog::Rejected);
}

TEST_F(AddressBookDialog, DeleteSelectsTheEntryBeforeAndAsksFirst) {
  Seed({{"a", "1"}, {"b", "2"}, {"c", "3"}, {"d", "4"}});
  Open(Mode::kManage);
  answerYes_ = false;
  Click("deleteButton");
  EXPECT_EQ(deleteQuestions_, 1);
  EXPECT_EQ(List()->count(), 4);
  EXPECT_FALSE(dialog_->isModified());

  answerYes_ = true;
  List()->setCurrentRow(2);
  Click("deleteButton");
  EXPECT_EQ(List()->currentRow(), 1);  // "b", the entry before "c"
  List()->setCurrentRow(0);
  Click("deleteButton");
  EXPECT_EQ(ListNames(), (std::vector<QString>{QStringLiteral("b"), QStringLiteral("d")}));
  EXPECT_EQ(List()->currentRow(), 0);  // the new first entry
  EXPECT_TRUE(dialog_->isModified());
}

TEST_F(AddressBookDialog, DeletingTheOnlyEntryDisablesPickUpdateAndDelete) {
  Seed({{"only", "h"}});
  Open(Mode::kPick);
  Click("deleteButton");
  EXPECT_EQ(List()->count(), 0);
  EXPECT_FALSE(Button("okButton")->isEnabled());
  EXPECT_FALSE(Button("updateButton")->isEnabled());
  EXPECT_FALSE(Button("deleteButton")->isEnabled());
  EXPECT_EQ(Focus(), Button("addButton"));
}

TEST_F(AddressBookDialog, ClosingWritesOnlyAChangedBook) {
  const std::string stale = Archive({{"a", "1"}, {"b", "2"}}) + "stale tail of an older book";
  std::ofstream(AddressBookPath(), std::ios::binary) << stale;
  Open(Mode::kManage);
  Click("secondButton");
  EXPECT_EQ(test::ReadFileBytes(AddressBookPath()), stale);

  Open(Mode::kManage);
  Click("deleteButton");
  Click("secondButton");
  EXPECT_EQ(test::ReadFileBytes(AddressBookPath()), Archive({{"b", "2"}}));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(AddressBookDialog, DamagedFileIsShownOnceAfterOpening) {
  std::ofstream(AddressBookPath(), std::ios::binary) << std::string(
      "\xFF\xFF\x00\x00\x08\x00"
      "CObArr",
      12);
  Open(Mode::kManage);
  EXPECT_TRUE(QTest::qWaitFor([this] { return !messages_.empty(); }));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("damaged")));
  EXPECT_EQ(List()->count(), 0);
  AddEntry(QStringLiteral("n"), QStringLiteral("h"));
  Click("secondButton");
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(std::filesystem::exists(home_.path() / "AddrBook.dat.damaged"));
}

TEST_F(AddressBookDialog, FailedSaveIsShown) {
  Open(Mode::kManage);
  AddEntry(QStringLiteral("n"), QStringLiteral("h"));
  std::filesystem::create_directory(AddressBookPath());  // in the way of the rename
  Click("secondButton");
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_TRUE(messages_[0].contains(QStringLiteral("cannot be read")))
      << messages_[0].toStdString();
  EXPECT_TRUE(std::filesystem::is_directory(AddressBookPath()));
}

TEST_F(AddressBookDialog, SavingKeepsEntriesAnotherProcessAddedMeanwhile) {
  Seed({{"a", "1"}, {"b", "2"}});
  Open(Mode::kManage);
  ASSERT_TRUE(UpdateAddressBook(AddressBookPath(), [](AddressBook& book) {
                book.Insert({"other", "9"});
                return true;
              }).saved);
  Click("deleteButton");  // the selected first entry
  AddEntry(QStringLiteral("mine"), QStringLiteral("3"));
  Click("secondButton");
  EXPECT_EQ(test::ReadFileBytes(AddressBookPath()),
            Archive({{"b", "2"}, {"mine", "3"}, {"other", "9"}}));
  EXPECT_TRUE(messages_.empty());
}

TEST_F(AddressBookDialog, F1AsksForTheAddressBookHelp) {
  Open(Mode::kManage);
  QSignalSpy help(dialog_.get(), &CAddressBookDlg::helpRequested);
  QTest::keyClick(Button("addButton"), Qt::Key_F1);
  ASSERT_EQ(help.count(), 1);
  EXPECT_EQ(help.at(0).at(0).toInt(), 0x1800A);
}

// Pictures for the documentation, written when NETROVE_SCREENSHOTS names a
// folder (scripts/screenshots sets it).
TEST_F(AddressBookDialog, Screenshots) {
  const QByteArray target = qgetenv("NETROVE_SCREENSHOTS");
  if (target.isEmpty()) GTEST_SKIP() << "set NETROVE_SCREENSHOTS to a folder to render them";
  const QString folder = QString::fromLocal8Bit(target) + QStringLiteral("/");
  Seed({{"beta", "b.example"},
        {"Alpha", "a.example"},
        {"gamma", "10.0.0.3"},
        {"News server", "news.example.org"},
        {"Router", "192.168.1.1"}});
  Open(Mode::kManage);
  EXPECT_TRUE(dialog_->grab().save(folder + QStringLiteral("address-book.png")));
  Click("addButton");
  QTest::keyClicks(Edit("nameEdit"), QStringLiteral("Mail relay"));
  QTest::keyClicks(Edit("addressEdit"), QStringLiteral("smtp.example.org"));
  EXPECT_TRUE(dialog_->grab().save(folder + QStringLiteral("address-book-edit.png")));

  CHostPromptDlg prompt(QStringLiteral("Ping..."), 0x10455);
  prompt.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&prompt));
  QTest::keyClicks(prompt.findChild<QLineEdit*>(QStringLiteral("hostEdit")),
                   QStringLiteral("a.example"));
  EXPECT_TRUE(prompt.grab().save(folder + QStringLiteral("host-prompt.png")));
}

class HostPrompt : public ::testing::Test {
 protected:
  void Open() {
    prompt_ = std::make_unique<CHostPromptDlg>(QStringLiteral("Ping..."), 0x10455);
    prompt_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(prompt_.get()));
  }
  QLineEdit* HostEdit() { return prompt_->findChild<QLineEdit*>(QStringLiteral("hostEdit")); }
  QPushButton* Button(const char* name) {
    return prompt_->findChild<QPushButton*>(QString::fromLatin1(name));
  }

  test::ScopedHome home_;
  std::unique_ptr<CHostPromptDlg> prompt_;
};

TEST_F(HostPrompt, RefusesAnEmptyHostAndReturnsATypedOne) {
  Open();
  EXPECT_EQ(prompt_->windowTitle(), QStringLiteral("Ping..."));
  EXPECT_TRUE(HostEdit()->text().isEmpty());
  QTest::mouseClick(Button("okButton"), Qt::LeftButton);
  EXPECT_TRUE(prompt_->isVisible());
  // The field is a drop-down whose edit passes its focus to the box.
  EXPECT_TRUE(prompt_->focusWidget() == HostEdit() ||
              prompt_->focusWidget() == HostEdit()->parentWidget());
  QTest::keyClicks(HostEdit(), QStringLiteral("example.org"));
  QTest::keyClick(HostEdit(), Qt::Key_Return);
  EXPECT_FALSE(prompt_->isVisible());
  EXPECT_EQ(prompt_->result(), QDialog::Accepted);
  EXPECT_EQ(prompt_->hostText(), QStringLiteral("example.org"));
}

TEST_F(HostPrompt, AddressButtonFillsTheEditFromThePickedEntry) {
  ASSERT_EQ(SaveAddressBook(AddressBookPath(), AddressBook(std::vector<AddressBookRecord>{
                                                   {"a", "1.1.1.1"}, {"b", "b.example"}})),
            "");
  Open();
  QSignalSpy help(prompt_.get(), &CHostPromptDlg::helpRequested);
  bool sawPickMode = false;
  QTimer::singleShot(0, [&sawPickMode] {
    auto* book = qobject_cast<CAddressBookDlg*>(QApplication::activeModalWidget());
    if (book == nullptr) return;
    sawPickMode = book->mode() == CAddressBookDlg::Mode::kPick;
    QTest::keyClick(book, Qt::Key_F1);
    book->findChild<QListWidget*>(QStringLiteral("nameList"))->setCurrentRow(1);
    QTest::mouseClick(book->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
  });
  QTest::mouseClick(Button("addressButton"), Qt::LeftButton);
  EXPECT_TRUE(sawPickMode);
  EXPECT_EQ(HostEdit()->text(), QStringLiteral("b.example"));
  ASSERT_EQ(help.count(), 1);
  EXPECT_EQ(help.at(0).at(0).toInt(), 0x1800A);

  QTest::keyClick(HostEdit(), Qt::Key_F1);
  ASSERT_EQ(help.count(), 2);
  EXPECT_EQ(help.at(1).at(0).toInt(), 0x10455);
}

// A tool's prompt offers the hosts it was given, most recent first, and
// keeps them per tool.
TEST_F(HostPrompt, OffersTheToolsRecentHostsMostRecentFirst) {
  for (const char* host : {"first.example", "127.0.0.1:7979", "first.example"}) {
    Open();
    prompt_->useRecentHosts("Ping");
    EXPECT_TRUE(HostEdit()->text().isEmpty());
    QTest::keyClicks(HostEdit(), QString::fromLatin1(host));
    QTest::keyClick(HostEdit(), Qt::Key_Return);
    ASSERT_EQ(prompt_->result(), QDialog::Accepted);
  }
  Open();
  prompt_->useRecentHosts("Ping");
  auto* box = prompt_->findChild<QComboBox*>(QStringLiteral("hostBox"));
  ASSERT_NE(box, nullptr);
  ASSERT_EQ(box->count(), 2);
  EXPECT_EQ(box->itemText(0), QStringLiteral("first.example"));
  EXPECT_EQ(box->itemText(1), QStringLiteral("127.0.0.1:7979"));
  box->setCurrentIndex(1);
  EXPECT_EQ(prompt_->hostText(), QStringLiteral("127.0.0.1:7979"));

  // A host that begins a kept one is taken as typed, never completed to it.
  Open();
  prompt_->useRecentHosts("Ping");
  QTest::keyClicks(HostEdit(), QStringLiteral("127.0.0.1"));
  QTest::keyClick(HostEdit(), Qt::Key_Return);
  EXPECT_EQ(prompt_->hostText(), QStringLiteral("127.0.0.1"));

  Open();
  prompt_->useRecentHosts("traceroute");
  EXPECT_EQ(prompt_->findChild<QComboBox*>(QStringLiteral("hostBox"))->count(), 0);
}

}  // namespace
}  // namespace netrove
