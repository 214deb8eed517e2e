// The newsreader's settings pages offscreen: each value is in the store as
// soon as its control changes (the window layout once the sheet is
// applied), the port field's replacements and the Full Name field's
// forbidden characters.
#include "news/news_preferences.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "base/settings_store.h"
#include "news/customize_news_page.h"
#include "news/news_preference_pages.h"
#include "news/news_settings.h"
#include "support/scoped_home.h"
#include "support/tab_walk.h"

namespace netrove {
namespace {

using ::testing::IsEmpty;

void Retype(QLineEdit* field, const QString& text) {
  field->setFocus();
  field->selectAll();
  QTest::keyClicks(field, text);
}

void Leave(QLineEdit* field) { emit field->editingFinished(); }

TEST(NewsPreferences, NewsreaderPageWritesServerAndPortAsTheyChange) {
  test::ScopedHome home;
  std::vector<int> failures;
  CCustomizeNNTP page([&](int error) { failures.push_back(error); });
  page.show();
  EXPECT_EQ(page.portField()->text(), QStringLiteral("119"));
  EXPECT_FALSE(page.defaultButton()->isEnabled());

  Retype(page.portField(), QStringLiteral("8119"));
  EXPECT_EQ(ReadNewsSettings().portNumber, 8119u);
  EXPECT_TRUE(page.defaultButton()->isEnabled());
  Retype(page.portField(), QStringLiteral("0"));  // no port 0: the default at once
  EXPECT_EQ(page.portField()->text(), QStringLiteral("119"));
  EXPECT_EQ(ReadNewsSettings().portNumber, 119u);
  Retype(page.portField(), QStringLiteral("6553"));
  EXPECT_EQ(ReadNewsSettings().portNumber, 6553u);
  QTest::keyClicks(page.portField(), QStringLiteral("6"));  // past 65535: the default
  EXPECT_EQ(page.portField()->text(), QStringLiteral("119"));
  EXPECT_EQ(ReadNewsSettings().portNumber, 119u);
  Retype(page.portField(), QStringLiteral("563"));
  page.defaultButton()->click();
  EXPECT_EQ(ReadNewsSettings().portNumber, 119u);
  EXPECT_FALSE(page.defaultButton()->isEnabled());

  Retype(page.serverField(), QStringLiteral("news.netrove.test"));
  EXPECT_EQ(ReadNewsSettings().serverLocation, "news");  // written on leaving the field
  Leave(page.serverField());
  EXPECT_EQ(ReadNewsSettings().serverLocation, "news.netrove.test");

  EXPECT_EQ(page.timeoutField()->value(), 60);
  page.timeoutField()->setValue(15);
  EXPECT_EQ(ReadNewsSettings().replyTimeout, 15u);
  EXPECT_TRUE(failures.empty());
}

// The TLS choice brings its usual port along while the port is the other
// choice's usual one; a port the user typed stays.
TEST(NewsPreferences, NewsreaderPageKeepsTlsChoiceUserAndPlainSignIn) {
  test::ScopedHome home;
  std::vector<int> failures;
  CCustomizeNNTP page([&](int error) { failures.push_back(error); });
  page.show();
  EXPECT_EQ(page.tlsField()->currentIndex(), 1);  // TLS if offered
  EXPECT_EQ(ReadNewsSettings().tlsMode, TlsMode::IfOffered);
  page.tlsField()->setCurrentIndex(3);
  EXPECT_EQ(ReadNewsSettings().tlsMode, TlsMode::Implicit);
  EXPECT_EQ(ReadNewsSettings().portNumber, 563u);
  EXPECT_FALSE(page.defaultButton()->isEnabled());
  page.tlsField()->setCurrentIndex(2);
  EXPECT_EQ(ReadNewsSettings().tlsMode, TlsMode::Required);
  EXPECT_EQ(ReadNewsSettings().portNumber, 119u);
  Retype(page.portField(), QStringLiteral("8119"));
  page.tlsField()->setCurrentIndex(3);
  EXPECT_EQ(ReadNewsSettings().portNumber, 8119u);
  page.defaultButton()->click();
  EXPECT_EQ(ReadNewsSettings().portNumber, 563u);

  Retype(page.userField(), QStringLiteral("reader"));
  Leave(page.userField());
  EXPECT_EQ(ReadNewsSettings().signInUser, "reader");
  EXPECT_FALSE(ReadNewsSettings().plainSignIn);
  page.plainSignInBox()->click();
  EXPECT_TRUE(ReadNewsSettings().plainSignIn);
  // A number no version wrote keeps TLS on rather than turning it off.
  WriteNewsNumber(kNewsTlsMode, 9);
  EXPECT_EQ(ReadNewsSettings().tlsMode, TlsMode::IfOffered);
  EXPECT_TRUE(failures.empty());
}

TEST(NewsPreferences, UserPageDropsNameDelimitersAndKeepsTheChosenForms) {
  test::ScopedHome home;
  CCustomizeNNTPPreferences sheet({});
  sheet.show();
  sheet.tabs()->setCurrentWidget(sheet.userPage());
  CCustomizeNNTPUser* user = sheet.userPage();
  EXPECT_EQ(user->fromList()->itemText(0), QString::fromLatin1(kPlaceholderAddress));
  EXPECT_EQ(user->fromList()->itemText(2), QStringLiteral("Full Name <") +
                                               QString::fromLatin1(kPlaceholderAddress) +
                                               QStringLiteral(">"));

  user->fullNameField()->setFocus();
  QTest::keyClicks(user->fullNameField(), QStringLiteral("Pat"));
  user->fullNameField()->setCursorPosition(1);
  QTest::keyClicks(user->fullNameField(), QStringLiteral("<"));
  EXPECT_EQ(user->fullNameField()->text(), QStringLiteral("Pat"));
  EXPECT_EQ(user->fullNameField()->cursorPosition(), 1);
  QTest::keyClicks(user->fullNameField(), QStringLiteral("(a)"));
  EXPECT_EQ(user->fullNameField()->text(), QStringLiteral("Paat"));
  EXPECT_EQ(user->fullNameField()->cursorPosition(), 2);

  user->fromList()->setCurrentIndex(2);  // written at once
  EXPECT_EQ(ReadNewsSettings().userFrom, 2u);
  Leave(user->fullNameField());
  Retype(user->addressField(), QStringLiteral("pat@netrove.test"));
  Leave(user->addressField());
  const NewsSettings settings = ReadNewsSettings();
  EXPECT_EQ(settings.userFullName, "Paat");
  EXPECT_EQ(settings.userAddress, "pat@netrove.test");
  EXPECT_EQ(user->fromList()->currentIndex(), 2);
  EXPECT_EQ(user->fromList()->currentText(), QStringLiteral("Paat <pat@netrove.test>"));
  EXPECT_EQ(user->replyToList()->itemText(2), QStringLiteral("pat@netrove.test (Paat)"));
}

TEST(NewsPreferences, ValuesAreWrittenAsTheyChangeAndTheLayoutOnApply) {
  test::ScopedHome home;
  CCustomizeNNTPPreferences sheet({});
  sheet.show();
  for (int tab = 0; tab < sheet.tabs()->count(); ++tab) sheet.tabs()->setCurrentIndex(tab);

  sheet.articlesPage()->checkIntervalBox()->setValue(15);
  sheet.articlesPage()->retrieveList()->setCurrentIndex(1);
  sheet.newsgroupsPage()->displayList()->setCurrentIndex(2);
  sheet.newsgroupsPage()->retrieveList()->setCurrentIndex(1);
  sheet.articlesPage()->applyFont(QFont(QStringLiteral("Liberation Serif"), 12));
  CCustomizeNNTPWindowLayout* layout = sheet.windowLayoutPage();
  EXPECT_EQ(layout->layoutButtons()->checkedId(), 1239);
  layout->layoutButtons()->button(1241)->click();
  layout->contentsButtons()->button(1248)->click();

  NewsSettings settings = ReadNewsSettings();
  EXPECT_EQ(settings.articlesCheckForNew, 15u);
  EXPECT_EQ(settings.articlesRetrieveWithHeader, 1u);
  EXPECT_EQ(settings.newsgroupsDisplay, kNewsDisplayUnsubscribed);
  EXPECT_EQ(settings.newsgroupsRetrieveTheList, 1u);
  EXPECT_EQ(settings.articlesFont, "-16;400;0;1;0;Liberation Serif");
  EXPECT_EQ(settings.wndLayoutLayout, 1239u);  // not before the sheet is applied

  sheet.apply();
  settings = ReadNewsSettings();
  EXPECT_EQ(settings.wndLayoutLayout, 1241u);
  EXPECT_EQ(settings.wndLayoutContents, 1248u);
}

// A store that refuses writes: its writers' lock file cannot be opened.
TEST(NewsPreferences, RefusedWritesAreReportedAndTheFieldsShowTheStoredValue) {
  test::ScopedHome home;
  ASSERT_TRUE(WriteNewsText(kNewsServerLocation, "news.netrove.test"));
  const std::filesystem::path lock = SettingsFile().string() + ".lock";
  std::filesystem::remove(lock);
  std::filesystem::create_directory(lock);
  std::vector<int> failures;
  CCustomizeNNTP page([&](int error) { failures.push_back(error); });
  page.show();
  Retype(page.serverField(), QStringLiteral("elsewhere"));
  Leave(page.serverField());
  EXPECT_EQ(page.serverField()->text(), QStringLiteral("news.netrove.test"));
  Retype(page.portField(), QStringLiteral("8"));
  EXPECT_EQ(page.portField()->text(), QStringLiteral("119"));
  EXPECT_EQ(failures.size(), 2u);

  CCustomizeNNTPPreferences sheet([&](int error) { failures.push_back(error); });
  sheet.show();
  sheet.tabs()->setCurrentWidget(sheet.newsgroupsPage());
  sheet.newsgroupsPage()->displayList()->setCurrentIndex(1);
  EXPECT_EQ(sheet.newsgroupsPage()->displayList()->currentIndex(), 0);
  EXPECT_EQ(failures.size(), 3u);
  EXPECT_EQ(ReadNewsSettings().serverLocation, "news.netrove.test");
}

// Tab walks each Preferences page as it reads: down, along each row left
// to right, a group of controls whole before the next.
TEST(NewsPreferences, TabWalksEveryPageDownward) {
  test::ScopedHome home;
  CCustomizeNNTPPreferences sheet([](int) {});
  sheet.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&sheet));
  for (int tab = 0; tab < sheet.tabs()->count(); ++tab) {
    const std::string caption = sheet.tabs()->tabText(tab).toStdString();
    sheet.tabs()->setCurrentIndex(tab);
    QWidget* page = sheet.tabs()->widget(tab);
    const std::vector<QWidget*> walk = test::TabStops(sheet, *page);
    ASSERT_FALSE(walk.empty()) << caption;
    EXPECT_THAT(test::StepsAgainstReading(walk, *page), IsEmpty()) << caption;
  }
}

}  // namespace
}  // namespace netrove
