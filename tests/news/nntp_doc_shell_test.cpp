// The newsreader window inside the main window: File > Print and Ctrl+P
// print the article shown, the read marks survive a SIGTERM, and the lists
// open with room for what they show.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QHeaderView>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QSplitter>
#include <QTimer>
#include <csignal>

#include "app/main_frame.h"
#include "app/mdi_child_wnd.h"
#include "app/netrove_app.h"
#include "app/shell_settings.h"
#include "app/termination_signals.h"
#include "base/command_ids.h"
#include "base/settings_store.h"
#include "news/news_server.h"
#include "news/news_settings.h"
#include "news/nntp_article_view.h"
#include "news/nntp_doc.h"
#include "news/nntp_group_view.h"
#include "news/nntp_thread_view.h"
#include "support/event_loop.h"
#include "support/fake_tool_services.h"
#include "support/file_bytes.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "support/wait_until.h"
#include "widgets/message_boxes.h"
#include "widgets/tool_catalog.h"

namespace netrove {
namespace {

constexpr char kReaderCapabilities[] = "101 Capability list:\r\nVERSION 2\r\nREADER\r\n.\r\n";

class AnsweringDialogs : public INewsDialogs {
 public:
  std::optional<QString> askServer(QWidget*, const QString&) override { return server; }
  bool askRefreshList(QWidget*) override { return true; }
  std::optional<long> askHeaderCount(QWidget*, long wanted, long) override { return wanted; }
  std::optional<QString> askFindText(QWidget*, const QString&) override { return std::nullopt; }
  void information(QWidget*, const QString&, const QString&) override {}
  void beep(bool) override {}
  std::optional<QString> askPassword(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }
  bool askTrust(QWidget*, const TlsHandshakeReport&, const QString&) override { return false; }
  QString server = QStringLiteral("127.0.0.1");
};

class SilentBoxes : public IMessageBoxes {
 public:
  void information(QWidget*, const QString&, const QString& text) override {
    shown.push_back(text);
  }
  bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
  std::vector<QString> shown;
};

bool WaitUntil(const std::function<bool()>& condition) {
  return test::WaitUntil(condition, test::TurnEventLoop);
}

std::string HeadReply(long number, const std::string& id, const std::string& subject) {
  return "221 " + std::to_string(number) + " " + id + "\r\nSubject: " + subject +
         "\r\nFrom: poster@news.test\r\nLines: 1\r\nMessage-ID: " + id + "\r\n.\r\n";
}

// The greeting, a list with a long group name, and local.test with the
// articles 2 and 1, then article 1 read.
test::Script ReadOneArticle() {
  return std::move(
      test::Script()
          .Accept()
          .Send("200 scripted news\r\n")
          .ExpectLine("CAPABILITIES")
          .Send(kReaderCapabilities)
          .ExpectLine("LIST")
          .Send("215 list\r\nlocal.test 2 1 y\r\n"
                "comp.os.linux.networking.a.rather.long.group.name 5 1 y\r\n.\r\n")
          .ExpectLine("GROUP local.test")
          .Send("211 2 1 2 local.test\r\n")
          .ExpectLine("STAT 2")
          .Send("223 2 <b@x>\r\n")
          .ExpectLine("HEAD")
          .Send(HeadReply(2, "<b@x>", "A subject long enough to want the room of the list"))
          .ExpectLine("LAST")
          .Send("223 1 <a@x>\r\n")
          .ExpectLine("HEAD")
          .Send(HeadReply(1, "<a@x>", "Root"))
          .ExpectLine("ARTICLE <a@x>")
          .Send("220 1 <a@x>\r\nSubject: Root\r\n\r\nPrinted body line\r\n.\r\n")
          .ExpectLine("QUIT")
          .Send("205 bye\r\n")
          .Close());
}

class NewsreaderInShell : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteNewsNumber(kNewsPortNumber, server_.port());
    WriteNewsNumber(kNewsNewsgroupsRetrieveTheList, 0);
    catalog_.templates.push_back(
        {151, QStringLiteral("NNTP"), kCmdNewsreader, QStringLiteral("Newsreader"),
         [this](CToolServices& services) { return new CNNTPDoc(services, dialogs_); }});
  }

  // Connects, opens local.test and reads article 1.
  void readArticle(CNNTPDoc& doc) {
    doc.connectToServer();
    ASSERT_TRUE(WaitUntil([&] { return doc.groupView().groups().rowCount() == 2; }));
    doc.groupView().openGroupAt(doc.groupView().groups().rowOf("local.test"));
    ASSERT_TRUE(
        WaitUntil([&] { return doc.articleView().topLevelItemCount() == 2 && !doc.clientBusy(); }));
    doc.articleView().openArticleAt(1);
    ASSERT_TRUE(WaitUntil([&] { return doc.threadView().hasArticle(); }));
  }

  test::ScopedHome home_;
  test::CScriptedServer server_;
  AnsweringDialogs dialogs_;
  SilentBoxes boxes_;
  test::RecordingReporter reporter_;
  test::FakeToolServices services_;
  ToolCatalog catalog_;
};

// What a modal dialog the test waits for showed, then closes it.
template <class Dialog, class Look>
void CloseNextModal(Look look) {
  QTimer::singleShot(0, [look] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    look(*dialog);
    dialog->reject();
  });
}

std::string PdfText(const QString& pdf) {
  QProcess convert;
  convert.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  if (!convert.waitForFinished(-1)) return {};
  return convert.readAllStandardOutput().toStdString();
}

// File > Print, Print Preview and Ctrl+P are there while the active
// newsreader window shows an article, and print that article.
TEST_F(NewsreaderInShell, PrintFromTheMainWindowPrintsTheArticleShown) {
  server_.Start(ReadOneArticle());
  CMainFrame frame(catalog_, reporter_, boxes_);
  frame.resize(1000, 700);
  frame.show();
  auto* doc = dynamic_cast<CNNTPDoc*>(frame.openTool(kCmdNewsreader));
  ASSERT_NE(doc, nullptr);
  QAction* print = frame.commandAction(kCmdFilePrint);
  QAction* preview = frame.commandAction(kCmdFilePrintPreview);
  EXPECT_FALSE(print->isEnabled());
  EXPECT_FALSE(preview->isEnabled());

  readArticle(*doc);
  EXPECT_TRUE(print->isEnabled());
  EXPECT_TRUE(preview->isEnabled());

  // Ctrl+P on the article view opens the print dialog.
  bool dialogShown = false;
  CloseNextModal<QPrintDialog>([&](QPrintDialog&) { dialogShown = true; });
  doc->threadView().setFocus();
  QTest::keyClick(&doc->threadView(), Qt::Key_P, Qt::ControlModifier);
  EXPECT_TRUE(dialogShown);

  int previewPages = 0;
  CloseNextModal<QPrintPreviewDialog>([&](QPrintPreviewDialog& dialog) {
    previewPages = dialog.findChild<QPrintPreviewWidget*>()->pageCount();
  });
  preview->trigger();
  EXPECT_EQ(previewPages, 1);

  // What the main window prints is the article, under the newsreader's title.
  const QString pdf = QString::fromStdString((home_.path() / "article.pdf").string());
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(pdf);
  EXPECT_EQ(frame.activeToolWindow()->toolView()->printTo(printer), 1);
  const std::string text = PdfText(pdf);
  EXPECT_NE(text.find("Printed body line"), std::string::npos) << text;
  EXPECT_NE(text.find("Newsreader"), std::string::npos) << text;

  doc->disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc->canConnect(); }));
  EXPECT_FALSE(print->isEnabled());
  EXPECT_FALSE(preview->isEnabled());
}

// In the main window, Ctrl+W and Ctrl+Q move between the newsreader's
// threads instead of closing the window or ending the program.
TEST_F(NewsreaderInShell, ThreadKeysReachTheNewsreaderInTheMainWindow) {
  server_.Start(ReadOneArticle());
  CMainFrame frame(catalog_, reporter_, boxes_);
  frame.show();
  frame.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
  bool closed = false;
  QObject::connect(&frame, &CMainFrame::closed, [&] { closed = true; });
  auto* doc = dynamic_cast<CNNTPDoc*>(frame.openTool(kCmdNewsreader));
  ASSERT_NE(doc, nullptr);
  readArticle(*doc);
  CNNTPArticleView& articles = doc->articleView();
  articles.setFocus();
  ASSERT_TRUE(WaitUntil([&] { return doc->activePane() == NewsPane::Articles; }));
  QTest::keyClick(&articles, Qt::Key_T, Qt::ControlModifier);  // Thread/Unthread
  ASSERT_FALSE(articles.flatMode());
  const long first = articles.numberAt(0);
  QTest::keyClick(&articles, Qt::Key_W, Qt::ControlModifier);
  EXPECT_NE(articles.numberAt(0), first);
  QTest::keyClick(&articles, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(articles.numberAt(0), first);
  EXPECT_FALSE(closed);
  EXPECT_EQ(frame.openWindowCount(), 1);
  doc->disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc->canConnect(); }));
}

// A SIGTERM while a newsreader is connected (busy, so the program ends
// without closing it) writes the read marks before the program ends.
TEST_F(NewsreaderInShell, ReadMarksAreSavedWhenTheProgramIsTerminated) {
  ASSERT_TRUE(CreateToolKey(kShellKeyName)->WriteDword(kValueAnswerPeers, 0));
  server_.Start(ReadOneArticle());
  AppOptions options;
  options.showSplash = false;
  CNetroveApp app(options, catalog_, boxes_);
  ASSERT_EQ(app.InitInstance(), CNetroveApp::StartResult::Running);
  CTerminationSignals termination;
  QObject::connect(&termination, &CTerminationSignals::terminationRequested, &app,
                   &CNetroveApp::EndOnRequest);
  bool finished = false;
  QObject::connect(&app, &CNetroveApp::finished, [&] { finished = true; });
  auto* doc = dynamic_cast<CNNTPDoc*>(app.mainFrame()->openTool(kCmdNewsreader));
  ASSERT_NE(doc, nullptr);
  readArticle(*doc);
  ASSERT_TRUE(doc->isBusy());

  ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
  ASSERT_TRUE(WaitUntil([&] { return finished; }));
  const std::string newsrc =
      test::ReadFileBytes(NewsrcPath("", NewsServerName("127.0.0.1", server_.port())));
  EXPECT_NE(newsrc.find("local.test! 1\r\n"), std::string::npos) << newsrc;
  app.ExitInstance();
}

// At the first size and with no stored widths: the count column's header
// and the group names are whole, the Subject column takes what the other
// columns leave, and read articles look different from unread ones.
TEST_F(NewsreaderInShell, ListsOpenWithRoomForWhatTheyShow) {
  server_.Start(ReadOneArticle());
  CNNTPDoc doc(services_, dialogs_);
  doc.resize(900, 560);
  doc.show();
  readArticle(doc);

  const CNNTPGroupView& groups = doc.groupView();
  const QHeaderView& header = *groups.horizontalHeader();
  EXPECT_GE(header.sectionSize(1),
            header.fontMetrics().horizontalAdvance(QStringLiteral("Number of Articles")));
  const int longest = groups.fontMetrics().horizontalAdvance(
      QStringLiteral("comp.os.linux.networking.a.rather.long.group.name"));
  EXPECT_GE(groups.columnWidth(0), longest);
  // The pane is wide enough for both columns: the count column ends inside.
  EXPECT_LE(header.sectionViewportPosition(1) + header.sectionSize(1), groups.viewport()->width());
  EXPECT_EQ(groups.horizontalScrollBar()->maximum(), 0);

  CNNTPArticleView& articles = doc.articleView();
  int others = 0;
  for (int column = 1; column < 5; ++column) {
    EXPECT_GE(articles.columnWidth(column), articles.header()->sectionSizeHint(column));
    others += articles.columnWidth(column);
  }
  EXPECT_GE(articles.columnWidth(0), articles.viewport()->width() - others);
  EXPECT_GT(articles.columnWidth(0), kNewsDefaultArticleColumnWidth);

  // Row 1 (article 1) was read, row 0 was not.
  EXPECT_NE(articles.topLevelItem(0)->foreground(0).color(),
            articles.topLevelItem(1)->foreground(0).color());
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
}

// In the layouts that put the article list beside another pane it was 90
// pixels wide: it now has two fifths of its splitter, and keeps what the
// user gives it.
TEST_F(NewsreaderInShell, PaneLayoutsGiveTheArticleListAShare) {
  for (const std::uint32_t layout : {1239u, 1241u, 1242u, 1243u}) {
    SCOPED_TRACE(layout);
    WriteNewsNumber(kNewsWndLayoutLayout, layout);
    CNNTPDoc doc(services_, dialogs_);
    doc.resize(900, 560);
    doc.show();
    QSplitter& inner = *doc.innerSplitter();
    const bool wide = inner.orientation() == Qt::Horizontal;
    const auto extent = [wide](const QWidget& widget) {
      return wide ? widget.width() : widget.height();
    };
    EXPECT_GE(extent(doc.articleView()), (extent(inner) - inner.handleWidth()) * 2 / 5);
    inner.setSizes({150, extent(inner) - 150 - inner.handleWidth()});
    emit inner.splitterMoved(150, 1);
    doc.resize(1000, 700);
    EXPECT_EQ(inner.sizes().value(0), 150);
  }
}

// The connect prompt takes HOST:PORT as the command line does: the port
// typed wins over the stored one; a port out of range is said, and nothing
// connects.
TEST_F(NewsreaderInShell, TheConnectPromptTakesAPort) {
  WriteNewsNumber(kNewsPortNumber, 1);  // nothing listens there
  server_.Start(std::move(test::Script()
                              .Accept()
                              .Send("200 scripted news\r\n")
                              .ExpectLine("CAPABILITIES")
                              .Send(kReaderCapabilities)
                              .ExpectLine("LIST")
                              .Send("215 list\r\nlocal.test 2 1 y\r\n.\r\n")
                              .ExpectLine("QUIT")
                              .Send("205 bye\r\n")
                              .Close()));
  CNNTPDoc doc(services_, dialogs_);
  dialogs_.server = QStringLiteral("127.0.0.1:99999");
  doc.connectToServer();
  EXPECT_TRUE(doc.canConnect());
  ASSERT_EQ(services_.reporter_.Texts().size(), 1u);
  EXPECT_EQ(services_.reporter_.Texts()[0],
            "\"127.0.0.1:99999\" names no host, or a port outside 1 to 65535.");

  dialogs_.server = QStringLiteral(" 127.0.0.1:%1 ").arg(server_.port());
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return doc.groupView().groups().rowCount() == 1; }));
  EXPECT_EQ(doc.documentTitle(), QStringLiteral("Newsreader (127.0.0.1)"));
  EXPECT_EQ(doc.serverName(), NewsServerName("127.0.0.1", server_.port()));
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(server_.Finished());
}

}  // namespace
}  // namespace netrove
