// The TFTP window and its Customize page driven through their widgets, with
// our own server on loopback as the peer.
#include "transfer/tftp_view.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "base/settings_store.h"
#include "diagnostics/tool_view_fixtures.h"
#include "support/event_loop.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "tftp_peers.h"
#include "transfer/customize_tftp_page.h"
#include "transfer/ftp_view.h"
#include "transfer/tftp_server.h"
#include "widgets/recent_host_box.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;

// The window with its file dialogs answered by the test.
class ScriptedTftpView : public CTftpView {
 public:
  using CTftpView::CTftpView;
  QString fileToSend;
  QStringList filesForDeletion;
  QStringList confirmed;  // the files whose deletion is answered Yes
 protected:
  QString chooseFileToSend() override { return fileToSend; }
  QStringList chooseFilesForDeletion() override { return filesForDeletion; }
  bool confirmDeletion(const QString& path) override { return confirmed.contains(path); }
};

class TftpViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(served_);
    test::WriteWholeFile(served_ / "file.bin", std::string(1500, 'f'));
    ASSERT_TRUE(server_.Start());
    view_.show();
  }
  void Fill(const QString& host, const QString& remote, const QString& local) {
    view_.hostEdit()->setText(host);
    view_.remoteEdit()->setText(remote);
    view_.localEdit()->setText(local);
  }
  bool WaitForIdle() {
    return test::WaitUntil([this] { return !view_.isBusy(); }, test::TurnEventLoop);
  }
  QString OurServer() const { return QStringLiteral("127.0.0.1:%1").arg(settings_.port); }
  QString Local(const char* name) const { return QString::fromStdString((local_ / name).string()); }

  test::ScopedHome home_;
  test::FakeServices services_;
  const fs::path served_ = home_.path() / "served";
  const fs::path local_ = home_.path();
  const TftpServerSettings settings_{test::FreeUdpPort(), served_, true};
  CTftpServer server_{services_.reporter_, [this] { return settings_; }};
  ScriptedTftpView view_{services_};
};

TEST_F(TftpViewTest, AGetRunsFromConnectingToCompletedAndShowsTheBytes) {
  EXPECT_EQ(view_.statusField()->text(), QStringLiteral("Idle"));
  EXPECT_EQ(view_.startButton()->text(), QStringLiteral("Get"));
  EXPECT_TRUE(view_.getButton()->isChecked());
  EXPECT_TRUE(view_.asciiButton()->isChecked());
  Fill(OurServer(), QStringLiteral("/file.bin"), Local("got.bin"));
  QTest::mouseClick(view_.binaryButton(), Qt::LeftButton, {}, QPoint(6, 6));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  EXPECT_TRUE(view_.isBusy());
  EXPECT_FALSE(view_.isCloseEnabled());
  EXPECT_EQ(view_.closeButton()->text(), QStringLiteral("Interrupt"));
  EXPECT_FALSE(view_.hostEdit()->isEnabled());
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(view_.statusField()->text(), QStringLiteral("Completed"));
  EXPECT_TRUE(
      view_.transferField()->text().startsWith(QStringLiteral("Bytes transferred: 1500   in   ")));
  EXPECT_EQ(test::ReadWholeFile(local_ / "got.bin"), std::string(1500, 'f'));
  EXPECT_EQ(view_.closeButton()->text(), QStringLiteral("Close"));
  EXPECT_TRUE(view_.isCloseEnabled());
  EXPECT_TRUE(services_.reporter_.Messages().empty());

  // A failure leaves "Aborted" in red until the next transfer starts.
  Fill(OurServer(), QStringLiteral("/missing.bin"), Local("missing.bin"));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(view_.statusField()->text(), QStringLiteral("Aborted"));
  EXPECT_EQ(view_.statusField()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  EXPECT_EQ(services_.reporter_.Texts(), std::vector<std::string>{"File not found."});
  Fill(OurServer(), QStringLiteral("/file.bin"), Local("again.bin"));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  EXPECT_NE(view_.statusField()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  ASSERT_TRUE(WaitForIdle());
}

TEST_F(TftpViewTest, PutTakesItsLocalFileFromTheBrowseButtonAndSendsIt) {
  QTest::mouseClick(view_.putButton(), Qt::LeftButton, {}, QPoint(6, 6));
  EXPECT_EQ(view_.startButton()->text(), QStringLiteral("Put"));
  EXPECT_TRUE(view_.sendBrowseButton()->isVisible());
  EXPECT_FALSE(view_.localEdit()->isEnabled());
  Fill(OurServer(), QStringLiteral("/sent.txt"), {});
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  EXPECT_FALSE(view_.isBusy()) << "an empty local name starts nothing";
  EXPECT_EQ(view_.focusWidget(), view_.sendBrowseButton());

  test::WriteWholeFile(local_ / "note.txt", "one\ntwo\n");
  view_.fileToSend = Local("note.txt");
  QTest::mouseClick(view_.sendBrowseButton(), Qt::LeftButton);
  EXPECT_EQ(view_.localEdit()->text(), Local("note.txt"));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(view_.statusField()->text(), QStringLiteral("Completed"));
  EXPECT_EQ(test::ReadWholeFile(served_ / "sent.txt"), "one\ntwo\n");
  EXPECT_FALSE(view_.localEdit()->isEnabled()) << "still in Put mode";
  EXPECT_TRUE(view_.sendBrowseButton()->isEnabled());
}

TEST_F(TftpViewTest, InterruptEndsAWaitForASilentServerWithoutABox) {
  const int silent = test::BoundSocket(SOCK_DGRAM, 0);
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(silent, reinterpret_cast<sockaddr*>(&address), &size);
  Fill(QStringLiteral("127.0.0.1:%1").arg(ntohs(address.sin_port)), QStringLiteral("/x"),
       Local("x"));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  EXPECT_EQ(view_.statusField()->text(), QStringLiteral("Connecting..."));
  QTest::mouseClick(view_.closeButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitForIdle());
  ::close(silent);
  EXPECT_EQ(view_.statusField()->text(), QStringLiteral("Aborted"));
  EXPECT_TRUE(services_.reporter_.Messages().empty());
  EXPECT_FALSE(fs::exists(local_ / "x"));
}

// HOME and the user's folders file pointed at a folder of the test, and the
// working folder moved to an empty one, for the life of the object: where a
// download lands is decided from these alone.
class ScopedUserFolders {
 public:
  explicit ScopedUserFolders(const fs::path& root) : home_(root / "user"), cwd_(root / "cwd") {
    fs::create_directories(home_ / ".config");
    fs::create_directories(cwd_);
    Keep("HOME", home_.c_str());
    Keep("XDG_CONFIG_HOME", nullptr);
    previousCwd_ = fs::current_path();
    fs::current_path(cwd_);
  }
  ~ScopedUserFolders() {
    fs::current_path(previousCwd_);
    for (const auto& [name, value] : kept_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
  }
  ScopedUserFolders(const ScopedUserFolders&) = delete;
  ScopedUserFolders& operator=(const ScopedUserFolders&) = delete;

  // Names the download folder in user-dirs.dirs, the way xdg-user-dirs does.
  void NameDownloadFolder(const std::string& value) {
    test::WriteWholeFile(home_ / ".config" / "user-dirs.dirs",
                         "# written by the test\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                         "XDG_DOWNLOAD_DIR=\"" +
                             value + "\"\n");
  }
  const fs::path& home() const { return home_; }
  const fs::path& cwd() const { return cwd_; }

 private:
  void Keep(const char* name, const char* value) {
    const char* old = std::getenv(name);
    kept_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  fs::path home_;
  fs::path cwd_;
  fs::path previousCwd_;
  std::vector<std::pair<std::string, std::optional<std::string>>> kept_;
};

// A get to a bare or relative file name writes into the user's download
// folder (or the home folder when that folder does not exist), shows the
// full path it wrote to, and leaves the working folder alone.
TEST_F(TftpViewTest, ARelativeLocalNameForAGetLandsInTheDownloadFolder) {
  ScopedUserFolders folders(home_.path());
  const fs::path downloads = folders.home() / "Incoming";
  fs::create_directories(downloads / "sub");
  folders.NameDownloadFolder("$HOME/Incoming");
  QTest::mouseClick(view_.binaryButton(), Qt::LeftButton, {}, QPoint(6, 6));

  Fill(OurServer(), QStringLiteral("/file.bin"), QStringLiteral("got.bin"));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  EXPECT_EQ(view_.localEdit()->text().toStdString(), (downloads / "got.bin").string());
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(view_.statusField()->text(), QStringLiteral("Completed"));
  EXPECT_EQ(test::ReadWholeFile(downloads / "got.bin"), std::string(1500, 'f'));

  // A name with folders in it is taken below the download folder too.
  Fill(OurServer(), QStringLiteral("/file.bin"), QStringLiteral("./sub/../sub/deeper.bin"));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  EXPECT_EQ(view_.localEdit()->text().toStdString(), (downloads / "sub" / "deeper.bin").string());
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(test::ReadWholeFile(downloads / "sub" / "deeper.bin"), std::string(1500, 'f'));

  // A download folder that names a folder that is not there: the home folder.
  folders.NameDownloadFolder("$HOME/Missing");
  Fill(OurServer(), QStringLiteral("/file.bin"), QStringLiteral("home.bin"));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  EXPECT_EQ(view_.localEdit()->text().toStdString(), (folders.home() / "home.bin").string());
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(test::ReadWholeFile(folders.home() / "home.bin"), std::string(1500, 'f'));
  EXPECT_FALSE(fs::exists(folders.home() / "Missing"));

  EXPECT_TRUE(fs::is_empty(folders.cwd())) << "a download went to the working folder";
  EXPECT_TRUE(services_.reporter_.Messages().empty());
}

TEST_F(TftpViewTest, TheDeletionBrowserDeletesOnlyWhatTheUserConfirms) {
  test::WriteWholeFile(local_ / "a", "a");
  test::WriteWholeFile(local_ / "b", "b");
  view_.filesForDeletion = {Local("a"), Local("b")};
  view_.confirmed = {Local("a")};
  QTest::mouseClick(view_.deleteBrowseButton(), Qt::LeftButton);
  EXPECT_FALSE(fs::exists(local_ / "a"));
  EXPECT_TRUE(fs::exists(local_ / "b"));
}

// The host of each transfer started is offered by the next TFTP window,
// most recent first; one refused before anything is sent is not kept, and
// the FTP window's Host Name offers none of them.
TEST_F(TftpViewTest, ANewWindowOffersTheHostsOfTheLastTransfersMostRecentFirst) {
  const TftpServerSettings secondSettings{test::FreeUdpPort(), served_, true};
  CTftpServer second{services_.reporter_, [&] { return secondSettings; }};
  ASSERT_TRUE(second.Start());
  const QString secondServer = QStringLiteral("127.0.0.1:%1").arg(secondSettings.port);
  for (const auto& [host, local] :
       {std::pair(OurServer(), "one.bin"), std::pair(secondServer, "two.bin")}) {
    Fill(host, QStringLiteral("/file.bin"), Local(local));
    QTest::mouseClick(view_.startButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(view_.statusField()->text(), QStringLiteral("Completed"));
  }
  Fill(QStringLiteral("127.0.0.1:65536"), QStringLiteral("/file.bin"), Local("three.bin"));
  QTest::mouseClick(view_.startButton(), Qt::LeftButton);
  EXPECT_FALSE(view_.isBusy());

  ScriptedTftpView next{services_};
  QStringList offered;
  for (int i = 0; i < next.hostBox()->count(); ++i) offered << next.hostBox()->itemText(i);
  EXPECT_EQ(offered, (QStringList{secondServer, OurServer()}));
  EXPECT_TRUE(next.hostEdit()->text().isEmpty());
  EXPECT_EQ(CFtpView(services_).loginPage()->hostBox()->count(), 0);
}

TEST(CustomizeTftpTest, TheStartBoxStartsAndStopsTheServerAndRemembersIt) {
  test::ScopedHome home;
  test::RecordingReporter reporter;
  const std::uint16_t port = test::FreeUdpPort();
  CreateToolKey("TFTP")->WriteDword("ServerPort", port);
  CTftpServer server(reporter, [] { return ReadTftpServerSettings(); });
  CCustomizeTFTP page(&server);
  page.show();
  EXPECT_EQ(page.portField()->value(), port);
  EXPECT_EQ(page.folderEdit()->text().toStdString(), DefaultTftpServerFolder().string());

  QTest::mouseClick(page.startBox(), Qt::LeftButton, {}, QPoint(6, 6));
  EXPECT_TRUE(server.IsRunning());
  EXPECT_EQ(test::StoredDword("TFTP", "IsServerEnable"), 1u);
  EXPECT_TRUE(fs::is_directory(DefaultTftpServerFolder()));
  QTest::mouseClick(page.startBox(), Qt::LeftButton, {}, QPoint(6, 6));
  EXPECT_FALSE(server.IsRunning());
  EXPECT_EQ(test::StoredDword("TFTP", "IsServerEnable"), 0u);

  // A port another program holds: the server says why and the box clears.
  const int holder = test::BoundSocket(SOCK_DGRAM, port);
  QTest::mouseClick(page.startBox(), Qt::LeftButton, {}, QPoint(6, 6));
  ::close(holder);
  EXPECT_FALSE(page.startBox()->isChecked());
  EXPECT_EQ(test::StoredDword("TFTP", "IsServerEnable"), 0u);
  ASSERT_EQ(reporter.Texts().size(), 1u);
  EXPECT_TRUE(reporter.Texts()[0].starts_with("WSAEADDRINUSE"));

  QTest::mouseClick(page.allowCreateBox(), Qt::LeftButton, {}, QPoint(6, 6));
  EXPECT_EQ(test::StoredDword("TFTP", "AllowCreate"), 1u);
}

// The options the window's client asks for: none until chosen, and a stored
// value the page shows again; a value out of range asks nothing.
TEST(CustomizeTftpTest, TheOptionFieldsChooseWhatTheClientAsksFor) {
  test::ScopedHome home;
  CCustomizeTFTP page(nullptr);
  page.show();
  EXPECT_FALSE(ReadTftpClientOptions().Any());
  EXPECT_EQ(page.blockSizeField()->text(), QStringLiteral("Not asked"));
  page.blockSizeField()->setValue(1468);
  page.windowSizeField()->setValue(16);
  page.rexmtField()->setValue(2);
  const TftpOptions chosen = ReadTftpClientOptions();
  EXPECT_EQ(chosen.blockSize, 1468u);
  EXPECT_EQ(chosen.windowSize, 16u);
  EXPECT_EQ(chosen.timeoutSeconds, 2u);
  EXPECT_FALSE(chosen.transferSize);
  CCustomizeTFTP again(nullptr);
  again.show();
  EXPECT_EQ(again.windowSizeField()->value(), 16);
  page.blockSizeField()->setValue(7);
  EXPECT_EQ(ReadTftpClientOptions().blockSize, 0u);
}

}  // namespace
}  // namespace netrove
