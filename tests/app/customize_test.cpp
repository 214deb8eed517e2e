#include "app/customize.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <fstream>

#include "app/clock_wnd.h"
#include "app/customize_netrove.h"
#include "app/main_frame.h"
#include "app/program_catalog.h"
#include "base/network_settings.h"
#include "base/settings_store.h"
#include "shell_ui_support.h"
#include "support/scoped_home.h"
#include "support/tab_walk.h"
#include "widgets/main_window_reporter.h"
#include "widgets/tool_message_box.h"

namespace netrove {
namespace {

using ::testing::IsEmpty;

// Clicks a check box on its indicator (its middle may lie beyond its text).
void Click(QCheckBox* box) {
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

std::uint32_t ReadValue(std::string_view value, std::uint32_t fallback = 99) {
  if (const auto open = OpenToolKey("Netrove", false)) open->ReadDword(value, fallback);
  return fallback;
}

// A tool's page that only has the placement switch.
class CPlacementOnlyPage : public CCustomizePage {
 public:
  explicit CPlacementOnlyPage(std::string key) : CCustomizePage(std::move(key)) {
    box = createSizeAndPositionBox();
  }
  int helpContext() const override { return 0x18008; }
  QCheckBox* box;

 protected:
  void loadSettings() override {}
};

class CustomizeTest : public ::testing::Test {
 protected:
  CustomizeTest() : display(boxes), reporter(display) {
    catalog = BuildToolCatalog();
    for (CustomizePageFactory& factory : catalog.customizePages) {
      if (&factory != &catalog.page(CustomizeTab::Netrove)) factory = {};
    }
    frame = std::make_unique<CMainFrame>(catalog, reporter, boxes);
    frame->show();
  }

  // Opens the sheet (not modal, so the test can click) on the general page.
  CCustomizeNetrove* openGeneralPage() {
    sheet = std::make_unique<CCustomize>(*frame, catalog.customizePages, frame.get());
    sheet->show();
    sheet->tabs()->setCurrentIndex(sheet->tabs()->count() - 1);
    QApplication::processEvents();
    return qobject_cast<CCustomizeNetrove*>(sheet->page(sheet->tabs()->count() - 1));
  }

  test::ScopedHome home;
  test::RecordingBoxes boxes;
  CToolMessageBox display;
  CMainWindowReporter reporter;
  ToolCatalog catalog;
  std::unique_ptr<CMainFrame> frame;
  std::unique_ptr<CCustomize> sheet;
};

TEST_F(CustomizeTest, TabsFollowTheFixedOrderAndSkipMissingPages) {
  catalog.page(CustomizeTab::Ping) = [](IShellContext&) { return new CPlacementOnlyPage("Ping"); };
  catalog.page(CustomizeTab::Chat) = [](IShellContext&) { return new CPlacementOnlyPage("Chat"); };
  CCustomize sheetOfThree(*frame, catalog.customizePages, frame.get());
  EXPECT_EQ(sheetOfThree.windowTitle(), QStringLiteral("Customize"));
  ASSERT_EQ(sheetOfThree.tabs()->count(), 3);
  EXPECT_EQ(sheetOfThree.tabs()->tabText(0), QStringLiteral("Chat"));
  EXPECT_EQ(sheetOfThree.tabs()->tabText(1), QStringLiteral("Ping"));
  EXPECT_EQ(sheetOfThree.tabs()->tabText(2), QStringLiteral("Netrove"));
}

TEST_F(CustomizeTest, GeneralPageSetsTheConnectionTimeOutsEveryToolReads) {
  CCustomizeNetrove* page = openGeneralPage();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->connectTimeoutField()->value(), 30);
  EXPECT_EQ(page->replyTimeoutField()->value(), 120);
  page->connectTimeoutField()->setValue(5);
  page->replyTimeoutField()->setValue(0);
  EXPECT_EQ(ReadValue("ConnectTimeout"), 5u);
  EXPECT_EQ(ReadValue("ReplyTimeout"), 0u);
  const NetworkSettings read = ReadNetworkSettings();
  EXPECT_EQ(read.connectMs, 5000);
  EXPECT_EQ(read.replyMs, 0) << "0: no bound";
  page = openGeneralPage();
  EXPECT_EQ(page->connectTimeoutField()->value(), 5);
}

TEST_F(CustomizeTest, GeneralPageChoosesTheAddressFamiliesOfEveryConnection) {
  CCustomizeNetrove* page = openGeneralPage();
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->addressFamilyBox()->currentIndex(), 0) << "both by default";
  page->addressFamilyBox()->setCurrentIndex(2);
  EXPECT_EQ(ReadValue("AddressFamily"), 6u);
  EXPECT_EQ(ReadNetworkSettings().families, FamilyChoice::IPv6Only);
  page->addressFamilyBox()->setCurrentIndex(1);
  EXPECT_EQ(ReadNetworkSettings().families, FamilyChoice::IPv4Only);
  page = openGeneralPage();
  EXPECT_EQ(page->addressFamilyBox()->currentIndex(), 1);
}

TEST_F(CustomizeTest, GeneralPageWritesEachBoxAtTheClickAndCancelKeepsIt) {
  CCustomizeNetrove* page = openGeneralPage();
  ASSERT_NE(page, nullptr);
  EXPECT_FALSE(page->alwaysOnTopBox()->isChecked());

  Click(page->sizeAndPositionBox());
  EXPECT_EQ(ReadValue("SizeAndPosition"), 1u);
  Click(page->alwaysOnTopBox());
  EXPECT_EQ(ReadValue("AlwaysOnTop"), 1u);
  EXPECT_TRUE(frame->isAlwaysOnTop());
  EXPECT_TRUE(frame->commandAction(kCmdAlwaysOnTop)->isChecked());
  Click(page->clockBox());
  EXPECT_EQ(ReadValue("Clock"), 1u);
  EXPECT_TRUE(frame->clockWnd()->isClockShown());

  sheet->reject();
  EXPECT_EQ(ReadValue("SizeAndPosition"), 1u);
  EXPECT_EQ(ReadValue("AlwaysOnTop"), 1u);
  EXPECT_EQ(ReadValue("Clock"), 1u);

  // Reopened, the page shows what is stored; unchecking writes 0.
  page = openGeneralPage();
  EXPECT_TRUE(page->clockBox()->isChecked());
  EXPECT_TRUE(page->alwaysOnTopBox()->isChecked());
  Click(page->clockBox());
  EXPECT_EQ(ReadValue("Clock"), 0u);
  EXPECT_FALSE(frame->clockWnd()->isClockShown());
}

TEST_F(CustomizeTest, BoxesSnapBackWhenTheKeyCannotBeCreated) {
  const auto blocker = home.path() / "file";
  std::ofstream(blocker) << "not a folder";
  setenv("NETROVE_HOME", (blocker / "settings").c_str(), 1);

  CCustomizeNetrove* page = openGeneralPage();
  Click(page->alwaysOnTopBox());
  EXPECT_FALSE(page->alwaysOnTopBox()->isChecked());
  EXPECT_FALSE(frame->isAlwaysOnTop());
  EXPECT_TRUE(boxes.shown.empty());

  Click(page->clockBox());
  EXPECT_FALSE(page->clockBox()->isChecked());
  EXPECT_FALSE(frame->clockWnd()->isClockShown());
  QApplication::processEvents();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, QStringLiteral("Netrove:System Message"));
}

TEST_F(CustomizeTest, ToolPagesShareThePlacementSwitch) {
  CPlacementOnlyPage page("Ping");
  page.show();
  Click(page.box);
  std::uint32_t stored = 0;
  ASSERT_TRUE(OpenToolKey("Ping", false).has_value());
  OpenToolKey("Ping", false)->ReadDword("SizeAndPosition", stored);
  EXPECT_EQ(stored, 1u);

  CPlacementOnlyPage reopened("Ping");
  reopened.show();
  EXPECT_TRUE(reopened.box->isChecked());
}

// Every tab is in view at the sheet's first size; Tab walks each page as it
// reads, down and along each row, a group whole; Enter in a field closes
// the sheet rather than pressing a page's button.
TEST_F(CustomizeTest, EveryTabIsInViewTabReadsDownAndEnterCloses) {
  const ToolCatalog full = BuildToolCatalog();
  CCustomize whole(*frame, full.customizePages, frame.get());
  whole.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&whole));
  const QTabBar* bar = whole.tabs()->tabBar();
  ASSERT_GE(whole.tabs()->count(), 9);
  for (int tab = 0; tab < whole.tabs()->count(); ++tab) {
    EXPECT_TRUE(bar->rect().contains(bar->tabRect(tab)))
        << whole.tabs()->tabText(tab).toStdString();
  }

  for (int tab = 0; tab < whole.tabs()->count(); ++tab) {
    const std::string caption = whole.tabs()->tabText(tab).toStdString();
    if (!whole.isVisible()) whole.show();
    whole.tabs()->setCurrentIndex(tab);
    QApplication::processEvents();
    QWidget* page = whole.page(tab);
    const std::vector<QWidget*> walk = test::TabStops(whole, *page);
    ASSERT_FALSE(walk.empty()) << caption;
    EXPECT_THAT(test::StepsAgainstReading(walk, *page), IsEmpty()) << caption;
    auto* field = page->findChild<QLineEdit*>();
    if (field == nullptr || !field->isVisible()) continue;
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(whole.isVisible()) << caption;
    EXPECT_EQ(whole.result(), QDialog::Accepted) << caption;
  }
}

}  // namespace
}  // namespace netrove
