// The FTP window driven through its widgets against a real server
// (pyftpdlib on loopback): login, listings in the remote tree, drag and drop
// in every direction, the menu's busy rule, the editor request, and the
// local tree's care with the user's own files.
#include "transfer/ftp_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "base/settings_store.h"
#include "diagnostics/tool_view_fixtures.h"
#include "pyftpd_server.h"
#include "support/event_loop.h"
#include "support/file_bytes.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "transfer/ftp_listing.h"
#include "transfer/ftp_prompts.h"
#include "transfer/ftp_tree_ctrl.h"
#include "transfer/ftp_window_ids.h"
#include "transfer/tftp_view.h"
#include "vsftpd_server.h"
#include "widgets/recent_host_box.h"
#include "widgets/transcript_view.h"

namespace netrove {
namespace {

namespace fs = std::filesystem;

// The answers the user would give, and what was asked.
class ScriptedPrompts : public CFtpPrompts {
 public:
  bool askYesNo(QWidget*, const QString& text) override {
    questions.push_back(text);
    return answerYes;
  }
  ExistingChoice askExisting(QWidget*, const QString& name, bool folder) override {
    questions.push_back((folder ? QStringLiteral("folder exists: ") : QStringLiteral("exists: ")) +
                        name);
    return existing;
  }
  void beep() override { ++beeps; }
  DropChoice chooseDrop(QWidget*, const QPoint&, bool copyEnabled) override {
    copyOffered = copyEnabled;
    return drop;
  }
  QString chooseEditor(QWidget*) override { return {}; }
  std::optional<QString> askArgument(QWidget*, const QString&) override { return argument; }
  std::optional<QString> askHelpKeyword(QWidget*) override { return argument; }
  std::optional<QString> askPassword(QWidget*, const QString& prompt) override {
    questions.push_back(prompt);
    return argument;
  }

  bool answerYes = false;
  ExistingChoice existing = ExistingChoice::Skip;
  DropChoice drop = DropChoice::Cancel;
  std::optional<QString> argument;
  QStringList questions;
  bool copyOffered = false;
  int beeps = 0;
};

class FtpViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(served_ / "sub");
    fs::create_directories(local_ / "inbox");
    test::WriteFileBytes(served_ / "hello.txt", "hello from the server\n");
    test::WriteFileBytes(served_ / "sub" / "deep.txt", "deep\n");
    auto prompts = std::make_unique<ScriptedPrompts>();
    prompts_ = prompts.get();
    view_ = std::make_unique<CFtpView>(services_, std::move(prompts));
    view_->resize(900, 700);
    view_->show();
    view_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view_.get()));
    view_->tabs()->setCurrentIndex(2);
    RelistLocal();
  }
  // The local tree with one root, our folder, listed afresh.
  void RelistLocal() {
    local()->setLocalRoots({QString::fromStdString(local_.string())});
    local()->expand(model(local())->index(0, 0));
  }
  void TearDown() override {
    if (view_ && view_->connection().IsConnected()) {
      view_->connection().Quit();
      test::WaitUntil([this] { return !view_->isBusy(); }, test::TurnEventLoop);
    }
    view_.reset();
  }

  bool StartServer() {
    server_ = std::make_unique<test::PyFtpServer>(served_);
    if (server_->port() != 0) return true;
    return false;
  }
  // Logs in as bob and waits for the first listing.
  void Connect() {
    auto key = CreateToolKey("FTP");
    ASSERT_TRUE(key && key->WriteDword("Port Number", server_->port()));
    // The commands are echoed into the transcript, where the tests read them.
    ASSERT_TRUE(key->WriteDword("Verbose", 1));
    view_->loginPage()->hostEdit()->setText(QStringLiteral("127.0.0.1"));
    view_->loginPage()->userEdit()->setText(QStringLiteral("bob"));
    view_->loginPage()->passwordEdit()->setText(QStringLiteral("secret"));
    QTest::mouseClick(view_->loginPage()->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle()) << view_->transcript()->text();
    ASSERT_TRUE(remote()->isEnabled());
  }
  bool WaitIdle() {
    return test::WaitUntil([this] { return remote()->isIdle() && model(remote())->rowCount() > 0; },
                           test::TurnEventLoop);
  }
  bool WaitFor(const std::function<bool()>& condition) {
    return test::WaitUntil(condition, test::TurnEventLoop);
  }

  CFtpTreeCtrl* remote() const { return view_->remoteTree(); }
  CFtpTreeCtrl* local() const { return view_->localTree(); }
  static CFtpTreeModel* model(CFtpTreeCtrl* tree) { return tree->treeModel(); }
  // The item under the first root with these labels, one level each.
  static QModelIndex Find(CFtpTreeCtrl* tree, const QStringList& labels) {
    QModelIndex item = model(tree)->index(0, 0);
    for (const QString& label : labels) item = model(tree)->childByLabel(item, label);
    return item;
  }
  static QPoint Center(CFtpTreeCtrl* tree, const QModelIndex& item) {
    tree->scrollTo(item);
    return tree->viewport()->mapToGlobal(tree->visualRect(item).center());
  }
  void Drag(CFtpTreeCtrl* from, const QModelIndex& item, CFtpTreeCtrl* to,
            const QModelIndex& target, bool rightButton) {
    from->beginDrag(item, rightButton);
    from->dragMoveTo(Center(to, target));
    from->dragRelease(Center(to, target), rightButton);
  }
  // Types into the label editor that is open and presses Enter.
  void TypeLabel(const QString& text) {
    QLineEdit* editor = nullptr;
    for (QLineEdit* edit : remote()->viewport()->findChildren<QLineEdit*>()) {
      if (edit->isVisible()) editor = edit;
    }
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
  }
  std::string Transcript() const { return view_->transcript()->text(); }

  test::ScopedHome home_;
  test::FakeServices services_;
  const fs::path served_ = home_.path() / "served";
  const fs::path local_ = home_.path() / "local";
  std::unique_ptr<test::PyFtpServer> server_;
  ScriptedPrompts* prompts_ = nullptr;
  std::unique_ptr<CFtpView> view_;
};

#define START_SERVER_OR_SKIP()                                                 \
  do {                                                                         \
    if (!StartServer()) {                                                      \
      if (test::PrivilegeRequired()) FAIL() << "python3-pyftpdlib is missing"; \
      GTEST_SKIP() << "python3-pyftpdlib is missing";                          \
    }                                                                          \
  } while (0)

// "Remember password" keeps the typed password for this user at this
// server; a later login with the Password field left empty uses it, a
// refused one is forgotten, and without one kept the field is asked for.
TEST_F(FtpViewTest, ARememberedPasswordLogsInWithThePasswordFieldLeftEmpty) {
  START_SERVER_OR_SKIP();
  CSessionPasswords passwords;
  view_->setPasswordStore(passwords);
  view_->loginPage()->rememberBox()->setChecked(true);
  Connect();
  const PasswordKey key{"ftp", "127.0.0.1", static_cast<std::uint16_t>(server_->port()), "bob"};
  EXPECT_EQ(passwords.Find(key), "secret");
  EXPECT_TRUE(CFtpLoginPage().rememberBox()->isChecked());  // the choice is kept

  const auto connectAsBob = [this] {
    view_->loginPage()->userEdit()->setText(QStringLiteral("bob"));
    view_->loginPage()->passwordEdit()->clear();
    QTest::mouseClick(view_->loginPage()->connectButton(), Qt::LeftButton);
  };
  const auto logInAgain = [&] {
    view_->connection().Quit();
    EXPECT_TRUE(WaitFor([this] { return !view_->isBusy(); }));
    connectAsBob();
  };
  logInAgain();
  ASSERT_TRUE(WaitIdle()) << Transcript();
  EXPECT_TRUE(view_->connection().IsConnected());

  // A kept password the server refuses is forgotten, not offered again...
  passwords.Remember(key, "wrong");
  logInAgain();
  ASSERT_TRUE(WaitFor([this] { return !view_->isBusy(); })) << Transcript();
  EXPECT_FALSE(passwords.Find(key)) << Transcript();
  // ...and with none kept the Password field must be filled in.
  connectAsBob();
  EXPECT_FALSE(view_->isBusy());
  EXPECT_FALSE(view_->connection().IsConnected());
}

// The host of each login is offered by the next FTP window's Host Name,
// most recent first; a Connect that starts nothing (no user name) keeps no
// host, and the TFTP window's host field offers none of them.
TEST_F(FtpViewTest, ANewWindowOffersTheHostsLoggedIntoMostRecentFirst) {
  test::VsftpdServer overIPv4(served_, home_.path() / "vsftpd4");
  test::VsftpdServer overIPv6(served_, home_.path() / "vsftpd6", true);
  if (overIPv4.port() == 0 || overIPv6.port() == 0) {
    if (test::PrivilegeRequired()) FAIL() << "vsftpd did not start";
    GTEST_SKIP() << "vsftpd did not start";
  }
  CFtpLoginPage* login = view_->loginPage();
  login->hostEdit()->setText(QStringLiteral("127.0.0.3"));
  login->userEdit()->clear();
  QTest::mouseClick(login->connectButton(), Qt::LeftButton);
  EXPECT_FALSE(view_->isBusy());
  for (const auto& [host, port] :
       {std::pair("127.0.0.1", overIPv4.port()), std::pair("::1", overIPv6.port())}) {
    ASSERT_TRUE(CreateToolKey("FTP")->WriteDword("Port Number", port));
    login->hostEdit()->setText(QString::fromLatin1(host));
    login->userEdit()->setText(QStringLiteral("anonymous"));
    QTest::mouseClick(login->connectButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitIdle()) << Transcript();
    EXPECT_TRUE(view_->connection().IsConnected());
    view_->connection().Quit();
    ASSERT_TRUE(WaitFor([this] { return !view_->isBusy(); }));
  }

  CFtpView next(services_, std::make_unique<ScriptedPrompts>());
  const CRecentHostBox* hosts = next.loginPage()->hostBox();
  QStringList offered;
  for (int i = 0; i < hosts->count(); ++i) offered << hosts->itemText(i);
  EXPECT_EQ(offered, (QStringList{QStringLiteral("::1"), QStringLiteral("127.0.0.1")}));
  EXPECT_TRUE(next.loginPage()->hostEdit()->text().isEmpty());
  EXPECT_EQ(CTftpView(services_).hostBox()->count(), 0);
}

TEST_F(FtpViewTest, LoginFillsTheRemoteTreeAndAFolderOpensWithCwdAndMlsd) {
  START_SERVER_OR_SKIP();
  EXPECT_FALSE(remote()->isEnabled());
  Connect();
  EXPECT_TRUE(view_->isBusy());
  EXPECT_FALSE(view_->isCloseEnabled());
  EXPECT_FALSE(view_->loginPage()->hostEdit()->isEnabled());
  EXPECT_TRUE(view_->loginPage()->quitButton()->isEnabled());
  EXPECT_EQ(model(remote())->label(model(remote())->index(0, 0)), QStringLiteral("/"));
  ASSERT_TRUE(WaitFor([&] { return Find(remote(), {QStringLiteral("sub")}).isValid(); }));
  const QModelIndex sub = Find(remote(), {QStringLiteral("sub")});
  EXPECT_TRUE(Find(remote(), {QStringLiteral("hello.txt")}).isValid());
  EXPECT_TRUE(model(remote())->hasChildren(sub));  // unlisted: shows its button

  // The listing comes back through the event loop: wait for its entries, not
  // only for the tree to look idle and expanded.
  remote()->expand(sub);
  ASSERT_TRUE(WaitFor([&] {
    return remote()->isIdle() && remote()->isExpanded(sub) &&
           Find(remote(), {QStringLiteral("sub"), QStringLiteral("deep.txt")}).isValid();
  })) << Transcript();
  EXPECT_NE(Transcript().find("CWD /sub\r\n"), std::string::npos) << Transcript();
  // pyftpdlib offers MLST: folders are listed with MLSD.
  EXPECT_NE(Transcript().find("MLSD /sub\r\n"), std::string::npos) << Transcript();

  QTest::mouseClick(view_->loginPage()->quitButton(), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([this] { return !view_->isBusy(); }));
  EXPECT_FALSE(remote()->isEnabled());
  EXPECT_EQ(model(remote())->rowCount(), 0);
  EXPECT_TRUE(view_->isCloseEnabled());
  EXPECT_EQ(view_->loginPage()->userEdit()->text(), QStringLiteral("anonymous"));
}

TEST_F(FtpViewTest, DraggingARemoteFileDownloadsItAndAReplaceRefusedLeavesNoPlaceholder) {
  START_SERVER_OR_SKIP();
  Connect();
  const QModelIndex inbox = Find(local(), {QStringLiteral("inbox")});
  ASSERT_TRUE(inbox.isValid());
  Drag(remote(), Find(remote(), {QStringLiteral("hello.txt")}), local(), inbox, false);
  ASSERT_TRUE(
      WaitFor([&] { return remote()->isIdle() && fs::exists(local_ / "inbox/hello.txt"); }));
  EXPECT_EQ(test::ReadFileBytes(local_ / "inbox/hello.txt"), "hello from the server\n");
  EXPECT_EQ(model(local())->rowCount(inbox), 1);
  EXPECT_TRUE(prompts_->questions.isEmpty());
  // The bytes on the wire: binary mode, the default, moves them as they are.
  EXPECT_TRUE(WaitFor([this] {
    return view_->progressLabel()->text().startsWith(QStringLiteral("22 bytes transferred"));
  })) << view_->progressLabel()->text().toStdString();

  // Once more onto the file itself: its folder is the destination, and Skip
  // (the default) keeps the local file and takes the placeholder away again.
  test::WriteFileBytes(local_ / "inbox/hello.txt", "mine");
  const QModelIndex existing = model(local())->childByLabel(inbox, QStringLiteral("hello.txt"));
  Drag(remote(), Find(remote(), {QStringLiteral("hello.txt")}), local(), existing, false);
  ASSERT_TRUE(WaitFor([&] { return remote()->isIdle() && !prompts_->questions.isEmpty(); }));
  EXPECT_EQ(prompts_->questions.front(), QStringLiteral("exists: hello.txt"));
  ASSERT_TRUE(WaitFor([&] { return model(local())->rowCount(inbox) == 1; }));
  EXPECT_EQ(test::ReadFileBytes(local_ / "inbox/hello.txt"), "mine");

  // A partial copy and Resume: only the rest comes, after REST.
  test::WriteFileBytes(local_ / "inbox/hello.txt", "hello from");
  prompts_->existing = ExistingChoice::Resume;
  Drag(remote(), Find(remote(), {QStringLiteral("hello.txt")}), local(),
       model(local())->childByLabel(inbox, QStringLiteral("hello.txt")), false);
  ASSERT_TRUE(WaitFor([&] {
    return remote()->isIdle() &&
           test::ReadFileBytes(local_ / "inbox/hello.txt") == "hello from the server\n";
  })) << Transcript();
  EXPECT_NE(Transcript().find("REST 10\r\n"), std::string::npos) << Transcript();
  EXPECT_EQ(model(local())->rowCount(inbox), 1);
}

// A folder dragged to the other side goes with everything in it as one job:
// one progress line, one summary; dropped again, the user chooses for the
// files that are there already (Skip leaves them).
TEST_F(FtpViewTest, DraggingAFolderAcrossMovesItsWholeTreeAsOneJob) {
  START_SERVER_OR_SKIP();
  test::WriteFileBytes(served_ / "sub" / "inner" / "more.txt", "more\n");
  test::WriteFileBytes(local_ / "pack" / "a.txt", "a\n");
  test::WriteFileBytes(local_ / "pack" / "nested" / "b.txt", "b\n");
  RelistLocal();
  Connect();
  const QModelIndex inbox = Find(local(), {QStringLiteral("inbox")});
  Drag(remote(), Find(remote(), {QStringLiteral("sub")}), local(), inbox, false);
  const auto summaryShown = [&](const QString& start) {
    return WaitFor(
        [&] { return remote()->isIdle() && view_->progressLabel()->text().startsWith(start); });
  };
  ASSERT_TRUE(summaryShown(QStringLiteral("Folder download finished: 2 files")))
      << view_->progressLabel()->text().toStdString() << Transcript();
  EXPECT_EQ(test::ReadFileBytes(local_ / "inbox/sub/inner/more.txt"), "more\n");
  EXPECT_EQ(test::ReadFileBytes(local_ / "inbox/sub/deep.txt"), "deep\n");
  EXPECT_EQ(model(local())->rowCount(inbox), 1);

  Drag(local(), Find(local(), {QStringLiteral("pack")}), remote(), model(remote())->index(0, 0),
       false);
  ASSERT_TRUE(summaryShown(QStringLiteral("Folder upload finished: 2 files")))
      << view_->progressLabel()->text().toStdString() << Transcript();
  EXPECT_EQ(test::ReadFileBytes(served_ / "pack/nested/b.txt"), "b\n");

  Drag(remote(), Find(remote(), {QStringLiteral("sub")}), local(), inbox, false);
  ASSERT_TRUE(summaryShown(QStringLiteral("Folder download finished: 0 files")))
      << view_->progressLabel()->text().toStdString();
  EXPECT_TRUE(view_->progressLabel()->text().contains(QStringLiteral("2 already there")));
  EXPECT_EQ(prompts_->questions.back(), QStringLiteral("folder exists: sub"));
}

TEST_F(FtpViewTest, DroppingALocalFileOnTheServerChecksTheNamesThenStores) {
  START_SERVER_OR_SKIP();
  test::WriteFileBytes(local_ / "report.txt", "numbers\n");
  RelistLocal();
  Connect();
  const QModelIndex sub = Find(remote(), {QStringLiteral("sub")});
  Drag(local(), Find(local(), {QStringLiteral("report.txt")}), remote(), sub, false);
  ASSERT_TRUE(
      WaitFor([&] { return remote()->isIdle() && fs::exists(served_ / "sub/report.txt"); }));
  const std::string transcript = Transcript();
  const auto nameList = transcript.find("NLST /sub\r\n");
  ASSERT_NE(nameList, std::string::npos) << transcript;
  EXPECT_NE(transcript.find("STOR /sub/report.txt\r\n", nameList), std::string::npos) << transcript;
  EXPECT_TRUE(prompts_->questions.isEmpty());
  EXPECT_EQ(test::ReadFileBytes(served_ / "sub/report.txt"), "numbers\n");

  // A name the server has already, in any case, is asked about; No stores nothing.
  test::WriteFileBytes(local_ / "HELLO.TXT", "shouting");
  const QModelIndex root = model(remote())->index(0, 0);
  const int before = model(remote())->rowCount(root);
  RelistLocal();
  Drag(local(), Find(local(), {QStringLiteral("HELLO.TXT")}), remote(), root, false);
  ASSERT_TRUE(WaitFor([&] { return !prompts_->questions.isEmpty() && remote()->isIdle(); }));
  EXPECT_EQ(prompts_->questions.front(), QStringLiteral("exists: HELLO.TXT"));
  EXPECT_EQ(model(remote())->rowCount(root), before);
  EXPECT_EQ(Transcript().find("STOR /HELLO.TXT"), std::string::npos);

  // Resume continues the server's shorter copy.
  test::WriteFileBytes(served_ / "part.bin", "0123");
  test::WriteFileBytes(local_ / "part.bin", "0123456789");
  RelistLocal();
  remote()->refresh();
  ASSERT_TRUE(WaitFor([&] {
    return remote()->isIdle() && Find(remote(), {QStringLiteral("part.bin")}).isValid();
  }));
  prompts_->existing = ExistingChoice::Resume;
  Drag(local(), Find(local(), {QStringLiteral("part.bin")}), remote(), model(remote())->index(0, 0),
       false);
  ASSERT_TRUE(WaitFor([&] {
    return remote()->isIdle() && test::ReadFileBytes(served_ / "part.bin") == "0123456789";
  })) << Transcript();
  EXPECT_NE(Transcript().find("REST 4\r\n"), std::string::npos) << Transcript();
}

TEST_F(FtpViewTest, RemoteItemsMoveOnTheServerOnlyByTheRightButtonMenu) {
  START_SERVER_OR_SKIP();
  Connect();
  const QModelIndex hello = Find(remote(), {QStringLiteral("hello.txt")});
  const QModelIndex sub = Find(remote(), {QStringLiteral("sub")});
  remote()->beginDrag(hello, false);
  remote()->dragMoveTo(Center(remote(), sub));
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ForbiddenCursor);
  remote()->dragRelease(Center(remote(), sub), false);
  QTest::qWait(50);
  EXPECT_EQ(Transcript().find("RNFR"), std::string::npos);

  prompts_->drop = DropChoice::Move;
  Drag(remote(), hello, remote(), sub, true);
  EXPECT_FALSE(prompts_->copyOffered);
  ASSERT_TRUE(WaitFor([&] { return remote()->isIdle() && fs::exists(served_ / "sub/hello.txt"); }));
  EXPECT_NE(Transcript().find("RNFR /hello.txt\r\n"), std::string::npos) << Transcript();
  EXPECT_NE(Transcript().find("RNTO /sub/hello.txt\r\n"), std::string::npos) << Transcript();
  EXPECT_FALSE(fs::exists(served_ / "hello.txt"));
  ASSERT_TRUE(WaitFor([&] { return !Find(remote(), {QStringLiteral("hello.txt")}).isValid(); }));
}

TEST_F(FtpViewTest, RemoteNewFolderRenameAndDeleteGoThroughTheServer) {
  START_SERVER_OR_SKIP();
  Connect();
  const QModelIndex root = model(remote())->index(0, 0);
  remote()->setFocus();
  remote()->setCurrentIndex(root);
  remote()->newFolder();
  const QModelIndex created = model(remote())->index(0, 0, root);
  ASSERT_EQ(model(remote())->label(created), QStringLiteral("NewFolder"));
  TypeLabel(QStringLiteral("made"));
  // The editor commits when the event loop next runs.
  ASSERT_TRUE(WaitFor([&] { return remote()->isIdle() && fs::is_directory(served_ / "made"); }))
      << Transcript();

  // A rename the server refuses puts the old name back.
  const QPersistentModelIndex hello = Find(remote(), {QStringLiteral("hello.txt")});
  remote()->setCurrentIndex(hello);
  remote()->renameSelected();
  TypeLabel(QStringLiteral("no such folder/x.txt"));
  ASSERT_TRUE(WaitFor([&] {
    return remote()->isIdle() &&
           Transcript().find("RNTO /no such folder/x.txt") != std::string::npos;
  })) << Transcript();
  EXPECT_EQ(model(remote())->label(hello), QStringLiteral("hello.txt"));
  remote()->renameSelected();
  TypeLabel(QStringLiteral("renamed.txt"));
  ASSERT_TRUE(WaitFor([&] { return remote()->isIdle() && fs::exists(served_ / "renamed.txt"); }));
  EXPECT_TRUE(fs::exists(served_ / "renamed.txt"));
  EXPECT_EQ(model(remote())->label(hello), QStringLiteral("renamed.txt"));

  remote()->setCurrentIndex(hello);
  prompts_->answerYes = true;
  remote()->setFocus();
  remote()->deleteSelected();
  ASSERT_FALSE(prompts_->questions.isEmpty());
  EXPECT_EQ(prompts_->questions.back(),
            QStringLiteral("Are you sure you want to delete 'renamed.txt'?"));
  ASSERT_TRUE(WaitFor([&] { return remote()->isIdle() && !hello.isValid(); }));
  EXPECT_FALSE(fs::exists(served_ / "renamed.txt"));
}

TEST_F(FtpViewTest, AnUploadMovedByTheRightButtonRemovesTheLocalFileOnlyOnceStored) {
  START_SERVER_OR_SKIP();
  test::WriteFileBytes(local_ / "moving.txt", "payload");
  RelistLocal();
  Connect();
  view_->commandAction(kCmdFtpImage)->trigger();
  prompts_->drop = DropChoice::Move;
  Drag(local(), Find(local(), {QStringLiteral("moving.txt")}), remote(),
       model(remote())->index(0, 0), true);
  EXPECT_TRUE(prompts_->copyOffered);
  ASSERT_TRUE(WaitFor([&] { return remote()->isIdle() && !fs::exists(local_ / "moving.txt"); }));
  EXPECT_EQ(test::ReadFileBytes(served_ / "moving.txt"), "payload");
  EXPECT_FALSE(Find(local(), {QStringLiteral("moving.txt")}).isValid());
  EXPECT_NE(Transcript().find("TYPE I\r\n"), std::string::npos);

  // The server gone: the tree empties; the transfer mode is the user's choice
  // and stays.
  view_->connection().QueueCommand(FtpCommand::Quit);
  ASSERT_TRUE(WaitFor([this] { return !view_->isBusy(); }));
  EXPECT_EQ(view_->transferMode(), kCmdFtpImage);
  EXPECT_FALSE(remote()->isEnabled());
}

TEST_F(FtpViewTest, ACommandWhileAListingRunsOnlyBeeps) {
  START_SERVER_OR_SKIP();
  Connect();
  remote()->expand(Find(remote(), {QStringLiteral("sub")}));
  ASSERT_FALSE(remote()->isIdle());
  view_->updateCommandStates();
  view_->commandAction(kCmdFtpNoop)->trigger();
  EXPECT_EQ(prompts_->beeps, 1);
  ASSERT_TRUE(WaitIdle());
  QTest::qWait(50);
  EXPECT_EQ(Transcript().find("NOOP"), std::string::npos);

  view_->commandAction(kCmdFtpNoop)->trigger();
  ASSERT_TRUE(WaitFor([this] { return Transcript().find("NOOP\r\n") != std::string::npos; }));
  ASSERT_TRUE(WaitFor([this] { return remote()->isIdle(); }));
  EXPECT_EQ(prompts_->beeps, 1);
}

TEST_F(FtpViewTest, StoreOptionsExcludeEachOtherAndConnectionItemsNeedAConnection) {
  view_->updateCommandStates();
  EXPECT_FALSE(view_->commandAction(kCmdFtpNoop)->isEnabled());
  EXPECT_FALSE(view_->commandAction(kCmdFtpAppend)->isEnabled());
  remote()->setEnabled(true);  // as after the first listing
  view_->updateCommandStates();
  view_->commandAction(kCmdFtpAppend)->trigger();
  EXPECT_EQ(local()->storeMode(), FtpStoreMode::Append);
  view_->commandAction(kCmdFtpStoreUnique)->trigger();
  EXPECT_EQ(local()->storeMode(), FtpStoreMode::Unique);
  EXPECT_TRUE(view_->commandAction(kCmdFtpStoreUnique)->isChecked());
  EXPECT_FALSE(view_->commandAction(kCmdFtpAppend)->isChecked());
  view_->commandAction(kCmdFtpStoreUnique)->trigger();
  EXPECT_EQ(local()->storeMode(), FtpStoreMode::Replace);
  view_->tabs()->setCurrentIndex(0);
  EXPECT_FALSE(view_->commandAction(kCmdFtpNoop)->isEnabled());
}

// A new user transfers files as binary (a binary file sent as text arrives
// corrupted) over passive data connections (most users are behind NAT);
// either choice, once made, is kept for the next window.
TEST_F(FtpViewTest, ANewUserStartsBinaryAndPassiveAndAChoiceIsKept) {
  EXPECT_EQ(view_->transferMode(), kCmdFtpImage);
  EXPECT_TRUE(view_->loginPage()->passiveBox()->isChecked());
  remote()->setEnabled(true);  // as after the first listing
  view_->updateCommandStates();
  view_->commandAction(kCmdFtpAscii)->trigger();
  view_->loginPage()->passiveBox()->setChecked(false);
  view_.reset();
  view_ = std::make_unique<CFtpView>(services_, std::make_unique<ScriptedPrompts>());
  EXPECT_EQ(view_->transferMode(), kCmdFtpAscii);
  EXPECT_FALSE(view_->loginPage()->passiveBox()->isChecked());
}

// A name that is not UTF-8 (Latin-1 "caf\xe9") is shown as best it can be,
// but every request names it by the bytes the server listed.
TEST_F(FtpViewTest, ANameThatIsNotUtf8GoesBackToTheServerAsListed) {
  const std::string latin1 = "caf\xe9.txt";
  remote()->listingReceived(ParseListing("-rw-r--r-- 1 a b 5 Jan 1 12:00 " + latin1 +
                                         "\r\n"
                                         "drwxr-xr-x 2 a b 4096 Jan 1 12:00 d\xfcr\r\n"),
                            QStringLiteral("/pub/"));
  const QModelIndex root = model(remote())->index(0, 0);
  ASSERT_EQ(model(remote())->rowCount(root), 2);
  std::vector<std::string> paths;
  for (int row = 0; row < 2; ++row)
    paths.push_back(model(remote())->serverPath(model(remote())->index(row, 0, root)));
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"/pub/" + latin1, "/pub/d\xfcr"}));
}

TEST_F(FtpViewTest, TheEditorStartsOnALocalFileWithoutAnyFtpTraffic) {
  const fs::path editor = home_.path() / "editor.sh";
  const fs::path opened = home_.path() / "opened.txt";
  test::WriteFileBytes(editor, "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened.string() + "'\n");
  fs::permissions(editor, fs::perms::owner_all);
  auto key = CreateToolKey("FTP");
  ASSERT_TRUE(key && key->WriteText("Editor", editor.string()));
  test::WriteFileBytes(local_ / "notes with blanks.txt", "x");
  RelistLocal();
  const QModelIndex file = Find(local(), {QStringLiteral("notes with blanks.txt")});
  ASSERT_TRUE(file.isValid());
  local()->setFocus();
  local()->setCurrentIndex(file);
  QTest::keyClick(local(), Qt::Key_Return);
  ASSERT_TRUE(WaitFor(
      [&] { return test::ReadFileBytes(opened) == (local_ / "notes with blanks.txt").string(); }));
  EXPECT_TRUE(Transcript().empty());
  EXPECT_TRUE(services_.reporter_.Messages().empty());
}

// ---- the user's own files ----

// Makes one file impossible to delete: immutable for root, a read-only
// folder for anyone else. Undone at the end of the test.
class Undeletable {
 public:
  explicit Undeletable(const fs::path& file) : file_(file) {
    if (::geteuid() != 0) {
      ::chmod(file.parent_path().c_str(), 0555);
      works_ = true;
      return;
    }
    const int fd = ::open(file.c_str(), O_RDONLY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_IMMUTABLE_FL;
      works_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    if (fd >= 0) ::close(fd);
  }
  ~Undeletable() {
    ::chmod(file_.parent_path().c_str(), 0755);
    const int fd = ::open(file_.c_str(), O_RDONLY);
    int flags = 0;
    if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    if (fd >= 0) ::close(fd);
  }
  bool works() const { return works_; }

 private:
  fs::path file_;
  bool works_ = false;
};

TEST_F(FtpViewTest, ALocalDeleteAsksAndStopsAtItsFirstFailure) {
  fs::create_directories(local_ / "old/a");
  test::WriteFileBytes(local_ / "old/a/locked", "l");
  test::WriteFileBytes(local_ / "old/z.txt", "z");
  RelistLocal();
  const QModelIndex old = Find(local(), {QStringLiteral("old")});
  local()->setFocus();
  local()->setCurrentIndex(old);

  local()->deleteSelected();
  EXPECT_EQ(prompts_->questions,
            QStringList{QStringLiteral("Are you sure you want to delete 'old'?")});
  EXPECT_TRUE(fs::exists(local_ / "old/z.txt"));

  const Undeletable locked(local_ / "old/a/locked");
  if (!locked.works()) GTEST_SKIP() << "this file system cannot make a file undeletable";
  prompts_->answerYes = true;
  local()->deleteSelected();
  EXPECT_EQ(services_.reporter_.Messages().size(), 1u);
  EXPECT_TRUE(fs::exists(local_ / "old/a/locked"));
  EXPECT_TRUE(fs::exists(local_ / "old/z.txt"));
  EXPECT_TRUE(Find(local(), {QStringLiteral("old")}).isValid());
}

TEST_F(FtpViewTest, LocalMovesAndCopiesNeverLoseOrOverwriteUnasked) {
  fs::create_directories(local_ / "a/sub");
  test::WriteFileBytes(local_ / "a/keep.txt", "source");
  test::WriteFileBytes(local_ / "inbox/keep.txt", "target");
  RelistLocal();
  const QModelIndex folderA = Find(local(), {QStringLiteral("a")});
  local()->expand(folderA);

  // A folder moved into itself fails: reported, nothing lost, no placeholder.
  prompts_->drop = DropChoice::Move;
  Drag(local(), folderA, local(), Find(local(), {QStringLiteral("a"), QStringLiteral("sub")}),
       true);
  EXPECT_EQ(services_.reporter_.Messages().size(), 1u);
  EXPECT_TRUE(fs::exists(local_ / "a/keep.txt"));
  EXPECT_EQ(model(local())->rowCount(Find(local(), {QStringLiteral("a"), QStringLiteral("sub")})),
            0);
  EXPECT_TRUE(Find(local(), {QStringLiteral("a")}).isValid());

  // A copy onto an existing file asks first; No leaves both as they were.
  const QModelIndex inbox = Find(local(), {QStringLiteral("inbox")});
  Drag(local(), Find(local(), {QStringLiteral("a"), QStringLiteral("keep.txt")}), local(), inbox,
       false);
  ASSERT_EQ(prompts_->questions.size(), 1);
  EXPECT_TRUE(prompts_->questions.front().startsWith(QStringLiteral("Confirm File Replace")));
  EXPECT_EQ(test::ReadFileBytes(local_ / "inbox/keep.txt"), "target");
  EXPECT_EQ(test::ReadFileBytes(local_ / "a/keep.txt"), "source");

  // Yes to a move replaces the target and only then removes the source.
  prompts_->answerYes = true;
  Drag(local(), Find(local(), {QStringLiteral("a"), QStringLiteral("keep.txt")}), local(), inbox,
       true);
  EXPECT_EQ(test::ReadFileBytes(local_ / "inbox/keep.txt"), "source");
  EXPECT_FALSE(fs::exists(local_ / "a/keep.txt"));
  EXPECT_FALSE(Find(local(), {QStringLiteral("a"), QStringLiteral("keep.txt")}).isValid());
}

TEST_F(FtpViewTest, AFolderOfAHundredThousandEntriesIsListedWithoutProbingEachOne) {
  constexpr int kEntries = 100000;
  // In memory where there is a tmpfs: a disk takes minutes to make and
  // remove 100,000 folders.
  std::string scratch =
      (fs::exists("/dev/shm") ? fs::path("/dev/shm") : home_.path()) / "netrove-big-XXXXXX";
  ASSERT_NE(::mkdtemp(scratch.data()), nullptr);
  struct Cleanup {
    fs::path path;
    ~Cleanup() { fs::remove_all(path); }
  } cleanup{scratch};
  const fs::path big = fs::path(scratch) / "big";
  fs::create_directories(big);
  for (int i = 0; i < kEntries; ++i) {
    // Appended, not "d" + to_string(i): GCC 12 at -O2 warns wrongly about that.
    std::string leaf = "d";
    leaf += std::to_string(i);
    ASSERT_EQ(::mkdir((big / leaf).c_str(), 0755), 0);
  }
  local()->setLocalRoots({QString::fromStdString(scratch)});
  local()->expand(model(local())->index(0, 0));
  const QModelIndex folder = Find(local(), {QStringLiteral("big")});
  const std::uint64_t before = model(local())->probeCount();
  ASSERT_TRUE(folder.isValid());
  local()->expand(folder);
  QTest::qWait(20);
  EXPECT_EQ(model(local())->rowCount(folder), kEntries);
  EXPECT_EQ(model(local())->label(model(local())->index(0, 0, folder)), QStringLiteral("d0"));
  // Only the rows in view are looked into.
  EXPECT_LT(model(local())->probeCount() - before, 1000u);
  EXPECT_FALSE(model(local())->hasChildren(model(local())->index(5, 0, folder)));
}

// With NETROVE_SCREENSHOTS set to a folder, renders the three pages of a
// window logged in to the test server.
TEST_F(FtpViewTest, Screenshots) {
  const QByteArray folder = qgetenv("NETROVE_SCREENSHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set NETROVE_SCREENSHOTS to a folder to render them";
  START_SERVER_OR_SKIP();
  test::WriteFileBytes(local_ / "report.txt", "numbers\n");
  RelistLocal();
  Connect();
  remote()->expand(Find(remote(), {QStringLiteral("sub")}));
  ASSERT_TRUE(WaitIdle());
  const std::pair<int, const char*> pages[] = {
      {0, "ftp-login"}, {1, "ftp-status"}, {2, "ftp-directories"}};
  for (const auto& [page, name] : pages) {
    view_->tabs()->setCurrentIndex(page);
    QTest::qWait(20);
    const QString file = QString::fromLocal8Bit(folder) + QLatin1Char('/') +
                         QString::fromLatin1(name) + QStringLiteral(".png");
    EXPECT_TRUE(view_->grab().save(file)) << name;
  }
}

}  // namespace
}  // namespace netrove
