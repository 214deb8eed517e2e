// The newsreader window driven against a scripted news server: connecting
// and listing, opening a group (headers fetched and threaded), the header
// walks of Retrieve Previous/New, opening an article (read, also where it
// was cross-posted), rot13, display modes, the check-for-new timer, and a
// list of 100,000 groups.
#include "news/nntp_doc.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPrinter>
#include <QSplitter>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/certificate_pins.h"
#include "base/recent_hosts.h"
#include "base/settings_store.h"
#include "inn_fixture.h"
#include "news/article_text.h"
#include "news/news_post_frame.h"
#include "news/news_post_headers.h"
#include "news/news_post_window.h"
#include "news/news_server.h"
#include "news/news_settings.h"
#include "news/nntp_article_view.h"
#include "news/nntp_connection.h"
#include "news/nntp_event_queue.h"
#include "news/nntp_group_view.h"
#include "news/nntp_recorder.h"
#include "news/nntp_thread_view.h"
#include "support/event_loop.h"
#include "support/fake_tool_services.h"
#include "support/file_bytes.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "support/test_certificates.h"
#include "support/wait_until.h"
#include "widgets/host_prompt_dialog.h"
#include "widgets/shell_context.h"
#include "widgets/tool_view.h"

namespace netrove {
namespace {

// A server that reads news already, as its CAPABILITIES say.
constexpr char kReaderCapabilities[] = "101 Capability list:\r\nVERSION 2\r\nREADER\r\n.\r\n";

using FakeServices = test::FakeToolServices;

// Answers the window's questions as the test says; counts the beeps.
class ScriptedDialogs : public INewsDialogs {
 public:
  std::optional<QString> askServer(QWidget*, const QString&) override {
    return QStringLiteral("127.0.0.1");
  }
  bool askRefreshList(QWidget*) override { return refresh; }
  std::optional<long> askHeaderCount(QWidget*, long, long) override {
    if (headerCounts.empty()) return std::nullopt;
    const long count = headerCounts.front();
    headerCounts.pop_front();
    return count;
  }
  std::optional<QString> askFindText(QWidget*, const QString&) override { return findText; }
  void information(QWidget*, const QString&, const QString& text) override {
    boxes.push_back(text);
  }
  void beep(bool) override { ++beeps; }
  std::optional<QString> askPassword(QWidget*, const QString& user, const QString&) override {
    passwordsAsked.push_back(user);
    return password;
  }
  bool askTrust(QWidget*, const TlsHandshakeReport& report, const QString&) override {
    trustAsked.push_back(report);
    return trust;
  }

  bool refresh = true;
  std::optional<QString> password;
  std::vector<QString> passwordsAsked;
  bool trust = false;
  std::vector<TlsHandshakeReport> trustAsked;
  std::deque<long> headerCounts;
  std::optional<QString> findText;
  std::vector<QString> boxes;
  int beeps = 0;
};

bool WaitUntil(const std::function<bool()>& condition) {
  return test::WaitUntil(condition, test::TurnEventLoop);
}

// The name the window's server state goes by (the port is in it).
std::string& Server() {
  static std::string name;
  return name;
}

void Store(std::uint16_t port, std::uint32_t retrieveList = 0, std::uint32_t checkMinutes = 0) {
  Server() = NewsServerName("127.0.0.1", port);
  WriteNewsNumber(kNewsPortNumber, port);
  WriteNewsNumber(kNewsNewsgroupsRetrieveTheList, retrieveList);
  WriteNewsNumber(kNewsArticlesCheckForNew, checkMinutes);
}

std::string HeadReply(long number, const std::string& id, const std::string& references,
                      const std::string& subject, const std::string& xref = "") {
  std::string reply = "221 " + std::to_string(number) + " " + id + "\r\nSubject: " + subject +
                      "\r\nFrom: poster@news.test\r\nLines: 1\r\nMessage-ID: " + id + "\r\n";
  if (!references.empty()) reply += "References: " + references + "\r\n";
  if (!xref.empty()) reply += "Xref: " + xref + "\r\n";
  return reply + ".\r\n";
}

// The greeting, the list, and the group local.test with articles 998, 999
// (a reply to 998, cross-posted to alt.other) and 1000, fetched newest first.
// A server that answers LIST with `reply` and then only QUIT.
test::Script ListThenQuit(std::string reply) {
  return std::move(test::Script()
                       .Accept()
                       .Send("200 scripted news\r\n")
                       .ExpectLine("CAPABILITIES")
                       .Send(kReaderCapabilities)
                       .ExpectLine("LIST")
                       .Send(std::move(reply))
                       .ExpectLine("QUIT")
                       .Send("205 bye\r\n")
                       .Close());
}

test::Script& OpenLocalTest(test::Script& script) {
  return script.Accept()
      .Send("200 scripted news\r\n")
      .ExpectLine("CAPABILITIES")
      .Send(kReaderCapabilities)
      .ExpectLine("LIST")
      .Send("215 list\r\nlocal.test 1000 998 y\r\nalt.other 5 1 y\r\n.\r\n")
      .ExpectLine("GROUP local.test")
      .Send("211 3 998 1000 local.test\r\n")
      .ExpectLine("STAT 1000")
      .Send("223 1000 <c@x>\r\n")
      .ExpectLine("HEAD")
      .Send(HeadReply(1000, "<c@x>", "", "Other"))
      .ExpectLine("LAST")
      .Send("223 999 <b@x>\r\n")
      .ExpectLine("HEAD")
      .Send(HeadReply(999, "<b@x>", "<a@x>", "Re: Root", "h local.test:999 alt.other:5"))
      .ExpectLine("LAST")
      .Send("223 998 <a@x>\r\n")
      .ExpectLine("HEAD")
      .Send(HeadReply(998, "<a@x>", "", "Root"));
}

std::vector<long> Numbers(const CNNTPArticleView& view) {
  std::vector<long> numbers;
  for (int row = 0; row < view.topLevelItemCount(); ++row) numbers.push_back(view.numberAt(row));
  return numbers;
}

bool IsRead(const std::string& group, long number) {
  return NewsServers().With(Server(), [&](CNewsServer* entry) {
    return entry != nullptr && entry->groups.count(group) != 0 &&
           entry->groups.at(group).Read().Contains(number);
  });
}

class NewsreaderWindow : public ::testing::Test {
 protected:
  test::ScopedHome home_;
  FakeServices services_;
  ScriptedDialogs dialogs_;
  test::CScriptedServer server_;
};

TEST_F(NewsreaderWindow, ReadsAGroupThreadsItWalksNumericallyAndReadsAnArticle) {
  Store(server_.port());
  test::Script script;
  OpenLocalTest(script)
      // Retrieve Previous starts at the smallest number, 998 (not "1000").
      // The HEAD went out with the step: its reply is read and dropped.
      .ExpectLine("STAT 998")
      .Send("223 998 <a@x>\r\n")
      .ExpectLine("LAST")
      .Send("422 no previous article\r\n")
      .ExpectLine("HEAD")
      .Send(HeadReply(998, "<a@x>", "", "Root"))
      // Retrieve New selects the group again and starts at the greatest
      // number, 1000 (not "999").
      .ExpectLine("GROUP local.test")
      .Send("211 3 998 1000 local.test\r\n")
      .ExpectLine("STAT 1000")
      .Send("223 1000 <c@x>\r\n")
      .ExpectLine("NEXT")
      .Send("421 no next article\r\n")
      .ExpectLine("HEAD")
      .Send("420 no current article\r\n")
      .ExpectLine("ARTICLE <b@x>")
      .Send("220 999 <b@x>\r\nSubject: Re: Root\r\n\r\nUryyb, jbeyq!\r\n.\r\n")
      .ExpectLine("ARTICLE <c@x>")
      .Send("430 no such article\r\n")
      .ExpectLine("QUIT")
      .Send("205 bye\r\n")
      .Close();
  server_.Start(std::move(script));

  CNNTPDoc doc(services_, dialogs_);
  CNNTPGroupView& groups = doc.groupView();
  CNNTPArticleView& articles = doc.articleView();
  CNNTPThreadView& text = doc.threadView();
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return groups.groups().rowCount() == 2; }));
  EXPECT_EQ(doc.documentTitle(), QStringLiteral("Newsreader (127.0.0.1)"));
  EXPECT_TRUE(doc.isBusy());
  const int row = groups.groups().rowOf("local.test");
  EXPECT_EQ(groups.groups().count("local.test"), 3);

  groups.openGroupAt(row);
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 3 && !doc.clientBusy(); }));
  EXPECT_EQ(doc.documentTitle(), QStringLiteral("Newsreader (127.0.0.1 - local.test)"));
  EXPECT_EQ(Numbers(articles), (std::vector<long>{1000, 999, 998}));
  EXPECT_TRUE(IsRead("local.test", 997));  // below the group's first article

  // Threaded: the first thread is 998 and its reply, indented.
  articles.toggleThreaded();
  EXPECT_EQ(Numbers(articles), (std::vector<long>{998, 999}));
  EXPECT_EQ(articles.topLevelItem(1)->text(0), QStringLiteral(">Re: Root"));
  articles.nextThread();
  EXPECT_EQ(Numbers(articles), (std::vector<long>{1000}));
  articles.nextThread();  // wraps to the first
  EXPECT_EQ(Numbers(articles), (std::vector<long>{998, 999}));
  articles.previousThread();
  EXPECT_EQ(Numbers(articles), (std::vector<long>{1000}));
  articles.toggleThreaded();
  EXPECT_EQ(Numbers(articles), (std::vector<long>{1000, 999, 998}));

  dialogs_.headerCounts = {2, 1};
  articles.retrievePrevious();
  ASSERT_TRUE(WaitUntil([&] { return !doc.clientBusy(); }));
  articles.retrieveNew();
  ASSERT_TRUE(WaitUntil([&] { return !doc.clientBusy(); }));

  articles.openArticleAt(1);
  ASSERT_TRUE(WaitUntil([&] { return text.hasArticle(); }))
      << server_.Finished(std::chrono::milliseconds(10)).message();
  EXPECT_TRUE(IsRead("local.test", 999));
  EXPECT_TRUE(IsRead("alt.other", 5));  // cross-posted there
  EXPECT_FALSE(IsRead("local.test", 1000));
  ASSERT_TRUE(articles.shownArticle().has_value());
  EXPECT_EQ(articles.shownArticle()->articleKey, "<a@x> <b@x>");

  doc.setActivePane(NewsPane::Text);
  EXPECT_TRUE(doc.action(NewsCommand::Rot13)->isEnabled());
  EXPECT_FALSE(doc.action(NewsCommand::CancelArticle)->isEnabled());  // not the user's
  doc.action(NewsCommand::Rot13)->trigger();
  EXPECT_EQ(text.articleText(), "Subject: Re: Root\r\n\r\nHello, world!\r\n");
  EXPECT_EQ(text.toPlainText(), QStringLiteral("Subject: Re: Root\n\nHello, world!\n"));
  doc.action(NewsCommand::Rot13)->trigger();
  EXPECT_EQ(text.articleText(), "Subject: Re: Root\r\n\r\nUryyb, jbeyq!\r\n");
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString((home_.path() / "article.pdf").string()));
  EXPECT_EQ(text.printTo(printer), 1);

  // An article the server no longer has: a follow-up or cancel cannot
  // target it, nor the article shown before.
  articles.openArticleAt(0);
  ASSERT_TRUE(WaitUntil([&] { return !text.hasArticle(); }));
  EXPECT_EQ(text.toPlainText(), QStringLiteral("Sorry. This article is no longer available."));
  EXPECT_FALSE(articles.shownArticle().has_value());
  EXPECT_FALSE(doc.action(NewsCommand::IncludeArticle)->isEnabled());

  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(server_.Finished());
  EXPECT_EQ(doc.documentTitle(), QStringLiteral("Newsreader"));
  EXPECT_EQ(groups.groups().rowCount(), 0);
  EXPECT_FALSE(doc.isBusy());
  std::ifstream newsrc(NewsrcPath("", Server()));
  std::stringstream lines;
  lines << newsrc.rdbuf();
  EXPECT_NE(lines.str().find("local.test! 1-997,999-1000\r\n"), std::string::npos) << lines.str();
}

TEST_F(NewsreaderWindow, DisplayChangesKeepTheTimerAndNewGroupsCanBeSubscribed) {
  // A newsrc knows local.test already: the refresh shows only the new group.
  const auto newsrc = NewsrcPath("", NewsServerName("127.0.0.1", server_.port()));
  std::filesystem::create_directories(newsrc.parent_path());
  std::ofstream(newsrc) << "local.test:\r\n";
  Store(server_.port(), 0, 5);
  server_.Start(ListThenQuit("215 list\r\nlocal.test 3 1 y\r\nfresh.group 9 1 y\r\n.\r\n"));
  CNNTPDoc doc(services_, dialogs_);
  CNNTPGroupView& groups = doc.groupView();
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return groups.groups().rowCount() == 1; }));
  EXPECT_EQ(groups.displayMode(), kDisplayNewGroups);
  EXPECT_EQ(groups.groups().row(0).name, "fresh.group");
  groups.selectionModel()->select(groups.groups().index(0, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  groups.toggleSubscription();
  EXPECT_TRUE(groups.groups().row(0).subscribed);

  EXPECT_TRUE(doc.articleView().checkTimerRunning());
  groups.showMode(kNewsDisplaySubscribed);
  EXPECT_EQ(groups.groups().rowCount(), 2);  // local.test and the new subscription
  EXPECT_TRUE(doc.articleView().checkTimerRunning());

  // Find wraps and reports what it could not find.
  dialogs_.findText = QStringLiteral("fresh");
  groups.findNext();
  EXPECT_EQ(groups.selectionModel()->selectedRows().value(0).row(), 0);
  dialogs_.findText = std::nullopt;
  groups.find();  // Cancel
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_FALSE(doc.articleView().checkTimerRunning());
  EXPECT_TRUE(server_.Finished());
}

TEST_F(NewsreaderWindow, AHundredThousandGroupsAreListed) {
  std::string list = "215 list\r\n";
  for (int i = 0; i < 100000; ++i) list += "group." + std::to_string(i) + " 10 1 y\r\n";
  list += ".\r\n";
  Store(server_.port());
  server_.Start(ListThenQuit(std::move(list)));
  CNNTPDoc doc(services_, dialogs_);
  CNNTPGroupView& groups = doc.groupView();
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return groups.groups().rowCount() == 100000; }));
  // In name order: group.10 follows group.1.
  EXPECT_EQ(groups.groups().rowOf("group.10"), 2);
  EXPECT_EQ(groups.groups().rowOf("group.99999"), 99999);
  EXPECT_EQ(groups.groups().count("group.5"), 10);
  groups.scrollToBottom();
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(server_.Finished());
}

TEST_F(NewsreaderWindow, PanesFollowTheLayoutSettings) {
  WriteNewsNumber(kNewsWndLayoutLayout, 1240);
  WriteNewsNumber(kNewsWndLayoutContents, 1247);
  WriteNewsNumber(kNewsWndLayoutSizeAndPosition, 1);
  WriteNewsNumber("wndLayoutRight", 220);
  {
    CNNTPDoc doc(services_, dialogs_);
    doc.resize(800, 600);
    doc.show();
    EXPECT_EQ(doc.outerSplitter()->orientation(), Qt::Horizontal);
    EXPECT_EQ(doc.outerSplitter()->widget(1), &doc.articleView());  // P3 = A, right
    EXPECT_EQ(doc.innerSplitter()->widget(0), &doc.groupView());
    EXPECT_EQ(doc.outerSplitter()->sizes().value(0), 220);
    doc.outerSplitter()->setSizes({300, 500});
  }
  EXPECT_EQ(ReadNewsNumber("wndLayoutRight", 0), 300u);
}

TEST_F(NewsreaderWindow, AsksBeforeLongWalksBeepsAtDuplicatesAndTicksOnlyWhenIdle) {
  Store(server_.port());
  WriteNewsNumber(kNewsArticlesRetrievingMoreThan, 10);
  server_.Start(std::move(test::Script()
                              .Accept()
                              .Send("200 scripted news\r\n")
                              .ExpectLine("CAPABILITIES")
                              .Send(kReaderCapabilities)
                              .ExpectLine("LIST")
                              .Send("215 list\r\nbig.group 500 1 y\r\n.\r\n")
                              .ExpectLine("GROUP big.group")
                              .Send("211 500 1 500 big.group\r\n")
                              // 500 is above the threshold: the user chose 1.
                              .ExpectLine("STAT 500")
                              .Send("223 500 <e500@x>\r\n")
                              .ExpectLine("HEAD")
                              .Send(HeadReply(500, "<e500@x>", "", "Newest"))
                              // Retrieve Previous for 2: the server hands back 500 again first,
                              // which beeps and does not count.
                              .ExpectLine("STAT 500")
                              .Send("223 500 <e500@x>\r\n")
                              .ExpectLine("LAST")
                              .Send("223 500 <e500@x>\r\n")
                              .ExpectLine("HEAD")
                              .Send(HeadReply(500, "<e500@x>", "", "Newest"))
                              .ExpectLine("LAST")
                              .Send("223 499 <e499@x>\r\n")
                              .ExpectLine("HEAD")
                              .Send(HeadReply(499, "<e499@x>", "", "Older"))
                              .ExpectLine("LAST")
                              .Send("223 498 <e498@x>\r\n")
                              .ExpectLine("HEAD")
                              .Send(HeadReply(498, "<e498@x>", "", "Oldest"))
                              // A timer tick while idle: the group again, then new articles
                              // after the newest, 100 at most.
                              .ExpectLine("GROUP big.group")
                              .Send("211 500 1 500 big.group\r\n")
                              .ExpectLine("STAT 500")
                              .Send("223 500 <e500@x>\r\n")
                              .ExpectLine("NEXT")
                              .Send("421 no next article\r\n")
                              .ExpectLine("HEAD")
                              .Send(HeadReply(500, "<e500@x>", "", "Newest"))
                              .ExpectLine("GROUP gone.group")
                              .Send("411 no such group\r\n")
                              .ExpectLine("QUIT")
                              .Send("502 not for you\r\n")
                              .Close()));
  CNNTPDoc doc(services_, dialogs_);
  CNNTPGroupView& groups = doc.groupView();
  CNNTPArticleView& articles = doc.articleView();
  articles.checkForNew();  // not connected, no group: nothing is sent
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return groups.groups().rowCount() == 1 && !doc.clientBusy(); }));
  articles.checkForNew();  // no group open yet: nothing is sent

  dialogs_.headerCounts = {1, 2};
  groups.openGroupAt(0);
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 1 && !doc.clientBusy(); }));
  EXPECT_EQ(groups.groups().count("big.group"), 499);
  doc.setActivePane(NewsPane::Articles);
  EXPECT_TRUE(doc.action(NewsCommand::CatchUp)->isEnabled());
  EXPECT_FALSE(doc.action(NewsCommand::NextThread)->isEnabled());
  EXPECT_FALSE(doc.action(NewsCommand::DisplayAll)->isEnabled());
  EXPECT_TRUE(doc.action(NewsCommand::NewArticle)->isEnabled());  // the greeting was 200

  doc.action(NewsCommand::RetrievePrevious)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 3 && !doc.clientBusy(); }));
  EXPECT_EQ(dialogs_.beeps, 1);
  EXPECT_EQ(groups.groups().count("big.group"), 497);
  EXPECT_EQ(Numbers(articles), (std::vector<long>{500, 499, 498}));

  articles.checkForNew();
  ASSERT_TRUE(WaitUntil([&] { return !doc.clientBusy(); }));
  doc.action(NewsCommand::CatchUp)->trigger();
  EXPECT_TRUE(IsRead("big.group", 1));
  EXPECT_TRUE(IsRead("big.group", 500));

  // A group that vanished, and a refusal, are reported to the main window.
  NewsServers().With(Server(), [](CNewsServer* entry) { entry->groups["gone.group"]; });
  groups.showMode(kNewsDisplayUnsubscribed);
  groups.openGroupAt(groups.groups().rowOf("gone.group"));
  ASSERT_TRUE(WaitUntil([&] { return !doc.clientBusy(); }));
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(server_.Finished());
  const auto texts = services_.reporter_.Texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Sorry. This newsgroup is no longer available."),
            texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(),
                      "Command: QUIT\r\nAccess restriction or permission denied."),
            texts.end());
}

// With NETROVE_SCREENSHOTS set to a folder, renders the window reading an
// article of a threaded group.
TEST_F(NewsreaderWindow, Screenshots) {
  const QByteArray folder = qgetenv("NETROVE_SCREENSHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set NETROVE_SCREENSHOTS to a folder to render them";
  Store(server_.port());
  test::Script script;
  OpenLocalTest(script)
      .ExpectLine("ARTICLE <b@x>")
      .Send(
          "220 999 <b@x>\r\nFrom: poster@news.test\r\nSubject: Re: Root\r\n"
          "Newsgroups: local.test\r\n\r\nA reply to the root article.\r\n.\r\n");
  server_.Start(std::move(script));
  CNNTPDoc doc(services_, dialogs_);
  doc.resize(900, 560);
  doc.show();
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return doc.groupView().groups().rowCount() == 2; }));
  doc.groupView().openGroupAt(doc.groupView().groups().rowOf("local.test"));
  ASSERT_TRUE(WaitUntil([&] { return doc.articleView().topLevelItemCount() == 3; }));
  doc.articleView().openArticleAt(1);
  ASSERT_TRUE(WaitUntil([&] { return doc.threadView().hasArticle(); }));
  EXPECT_TRUE(doc.grab().save(
      QDir(QString::fromLocal8Bit(folder)).absoluteFilePath(QStringLiteral("newsreader.png"))));
}

// A server that keeps an overview fills the list with one OVER; encoded
// words in the list and the article, and a base64 body in UTF-8, are shown
// decoded. With NETROVE_SCREENSHOTS set the window is rendered too.
TEST_F(NewsreaderWindow, MimeScreenshots) {
  Store(server_.port());
  const std::string subject =
      "=?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln:_?= =?UTF-8?B?w4RwZmVsIGbDvHIgMyDigqw=?=";
  const std::string from = "=?ISO-8859-1?Q?J=F6rg_M=FCller?= <jm@news.test>";
  server_.Start(
      std::move(test::Script()
                    .Accept()
                    .Send("200 scripted news\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send("101 Capability list:\r\nVERSION 2\r\nREADER\r\nOVER\r\n.\r\n")
                    .ExpectLine("LIST")
                    .Send("215 list\r\nlocal.test 1000 1000 y\r\n.\r\n")
                    .ExpectLine("GROUP local.test")
                    .Send("211 1 1000 1000 local.test\r\n")
                    .ExpectLine("OVER 1000-1000")
                    .Send("224 overview\r\n1000\t" + subject + "\t" + from +
                          "\tThu, 10 Dec 2026 05:00:00 +0000\t<m@x>\t\t600\t8\r\n.\r\n")
                    .ExpectLine("ARTICLE <m@x>")
                    .Send("220 1000 <m@x>\r\nFrom: " + from + "\r\nSubject: " + subject +
                          "\r\nNewsgroups: local.test\r\nDate: Thu, 10 Dec 2026 05:00:00 +0000\r\n"
                          "Message-ID: <m@x>\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: text/plain; charset=UTF-8\r\n"
                          "Content-Transfer-Encoding: base64\r\n\r\n"
                          "SGFsbG8genVzYW1tZW4sDQoNCmRpZSDDhHBmZWwga29zdGVuIGhldXRlIDMg4oKsIGRhcyBL"
                          "aWxv\r\nLA0KZGllIEJpcm5lbiAyLDUwIOKCrC4NCg0KVmllbGUgR3LDvMOfZSBhdXMgWsO8"
                          "cmljaCwg0J/R\r\ngNC40LLQtdGCINC40Lcg0JzQvtGB0LrQstGLDQpKw7ZyZw0K\r\n"
                          ".\r\n")));
  CNNTPDoc doc(services_, dialogs_);
  doc.resize(900, 560);
  doc.show();
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return doc.groupView().groups().rowCount() == 1; }));
  doc.groupView().openGroupAt(0);
  ASSERT_TRUE(WaitUntil([&] { return doc.articleView().topLevelItemCount() == 1; }));
  const QString shownSubject = QStringLiteral("Grüße aus Köln: Äpfel für 3 €");
  EXPECT_EQ(doc.articleView().topLevelItem(0)->text(0), shownSubject);
  EXPECT_EQ(doc.articleView().topLevelItem(0)->text(1),
            QStringLiteral("Jörg Müller <jm@news.test>"));
  doc.articleView().openArticleAt(0);
  ASSERT_TRUE(WaitUntil([&] { return doc.threadView().hasArticle(); }));
  const QString text = doc.threadView().toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("Subject: ") + shownSubject)) << text.toStdString();
  EXPECT_TRUE(
      text.contains(QStringLiteral("\n\nHallo zusammen,\n\ndie Äpfel kosten heute 3 € das "
                                   "Kilo,\n")))
      << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Viele Grüße aus Zürich, Привет из Москвы\nJörg")));
  const QByteArray folder = qgetenv("NETROVE_SCREENSHOTS");
  if (folder.isEmpty()) return;
  EXPECT_TRUE(doc.grab().save(QDir(QString::fromLocal8Bit(folder))
                                  .absoluteFilePath(QStringLiteral("newsreader-mime.png"))));
}

// Against INN: a root article and a reply, posted first, are listed,
// threaded, read (and marked read) and saved twice into the group's file.
TEST_F(NewsreaderWindow, ReadsAndSavesArticlesFromInn) {
  NETROVE_REQUIRE_INN();
  test::InnInstance inn;
  ASSERT_TRUE(inn.started()) << "the private INN did not start";
  {
    test::NntpRecorder events;
    test::RecordingReporter reporter;
    CNNTPConnection seeder(inn.port(), events, reporter, "127.0.0.1");
    ASSERT_TRUE(seeder.Start());
    const std::string root = ArticleWireForm(
        "From: a@netrove.test\nNewsgroups: local.test\nSubject: Root\n"
        "Message-ID: <root@netrove.test>\n",
        "Uryyb\n");
    const std::string reply = ArticleWireForm(
        "From: b@netrove.test\nNewsgroups: local.test\nSubject: Re: Root\n"
        "Message-ID: <reply@netrove.test>\nReferences: <root@netrove.test>\n",
        "Reply body\n");
    ASSERT_EQ(seeder.QueueCommand(kNntpPost, root, {7}), QueueOutcome::Queued);
    ASSERT_EQ(seeder.QueueCommand(kNntpPost, reply, {7}), QueueOutcome::Queued);
    ASSERT_TRUE(events.WaitFor([](const auto& r) { return r.posts.size() == 2; }));
    seeder.Disconnect();
    ASSERT_TRUE(events.WaitClosed());
  }
  Store(inn.port());
  WriteNewsText(kNewsArticlesFolder, (home_.path() / "saved").string());
  CNNTPDoc doc(services_, dialogs_);
  CNNTPGroupView& groups = doc.groupView();
  CNNTPArticleView& articles = doc.articleView();
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return groups.groups().rowOf("local.test") >= 0; }));
  ASSERT_TRUE(WaitUntil([&] { return !doc.clientBusy(); }));
  groups.openGroupAt(groups.groups().rowOf("local.test"));
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 2 && !doc.clientBusy(); }));
  articles.toggleThreaded();
  ASSERT_EQ(articles.topLevelItemCount(), 2);
  EXPECT_EQ(articles.topLevelItem(0)->text(0), QStringLiteral("Root"));
  EXPECT_EQ(articles.topLevelItem(1)->text(0), QStringLiteral(">Re: Root"));

  articles.openArticleAt(0);
  ASSERT_TRUE(WaitUntil([&] { return doc.threadView().hasArticle(); }));
  EXPECT_NE(doc.threadView().articleText().find("\r\n\r\nUryyb\r\n"), std::string::npos);
  EXPECT_TRUE(IsRead("local.test", articles.numberAt(0)));
  doc.setActivePane(NewsPane::Text);
  doc.action(NewsCommand::Rot13)->trigger();
  EXPECT_NE(doc.threadView().articleText().find("\r\n\r\nHello\r\n"), std::string::npos);
  doc.action(NewsCommand::SaveArticle)->trigger();
  doc.action(NewsCommand::SaveArticle)->trigger();
  std::ifstream saved(home_.path() / "saved" / "127.0.0.1" / "local" / "test.txt",
                      std::ios::binary);
  std::stringstream content;
  content << saved.rdbuf();
  const std::string once = doc.threadView().articleText() + "\r\n\r\n";
  EXPECT_EQ(content.str(), once + once);

  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(services_.reporter_.Messages().empty());
}

// Posts one article to local.test through a connection of its own.
void PostToInn(std::uint16_t port, const std::string& subject) {
  test::NntpRecorder events;
  test::RecordingReporter reporter;
  CNNTPConnection poster(port, events, reporter, "127.0.0.1");
  ASSERT_TRUE(poster.Start());
  const std::string article = ArticleWireForm(
      "From: a@netrove.test\nNewsgroups: local.test\nSubject: " + subject + "\n", "Body\n");
  ASSERT_EQ(poster.QueueCommand(kNntpPost, article, {7}), QueueOutcome::Queued);
  ASSERT_TRUE(events.WaitFor([](const auto& r) { return r.posts.size() == 1; }));
  EXPECT_EQ(events.Seen().posts[0].outcome, NntpPostOutcome::Posted);
  poster.Disconnect();
  ASSERT_TRUE(events.WaitClosed());
}

// INN fixes a group's range when it is selected: an article posted after
// the window opened the group shows only because looking for new articles
// selects the group again, through the command and through the timer.
TEST_F(NewsreaderWindow, ArticlesPostedAfterOpeningAppearThroughRetrieveNewAndTheTimer) {
  NETROVE_REQUIRE_INN();
  test::InnInstance inn;
  ASSERT_TRUE(inn.started()) << "the private INN did not start";
  PostToInn(inn.port(), "First");
  Store(inn.port());
  CNNTPDoc doc(services_, dialogs_);
  CNNTPGroupView& groups = doc.groupView();
  CNNTPArticleView& articles = doc.articleView();
  doc.connectToServer();
  ASSERT_TRUE(
      WaitUntil([&] { return groups.groups().rowOf("local.test") >= 0 && !doc.clientBusy(); }));
  groups.openGroupAt(groups.groups().rowOf("local.test"));
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 1 && !doc.clientBusy(); }));

  PostToInn(inn.port(), "Second");
  dialogs_.headerCounts = {10};
  articles.retrieveNew();
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 2 && !doc.clientBusy(); }));
  PostToInn(inn.port(), "Third");
  articles.checkForNew();  // what the timer runs
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 3 && !doc.clientBusy(); }));
  EXPECT_EQ(articles.topLevelItem(0)->text(0), QStringLiteral("Third"));
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(services_.reporter_.Messages().empty());
}

// Read marks reach the newsrc a short while after they change, while the
// window is still connected; a CR inside a line is shown, never obeyed.
TEST_F(NewsreaderWindow, ReadMarksAreSavedWhileConnectedAndABareCrIsShown) {
  Store(server_.port());
  test::Script script;
  OpenLocalTest(script)
      .ExpectLine("ARTICLE <b@x>")
      .Send("220 999 <b@x>\r\nSubject: Re: Root\r\n\r\nline\rFrom: spoof\r\n.\r\n")
      .ExpectLine("QUIT")
      .Send("205 bye\r\n")
      .Close();
  server_.Start(std::move(script));
  CNNTPDoc doc(services_, dialogs_);
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return doc.groupView().groups().rowCount() == 2; }));
  doc.groupView().openGroupAt(doc.groupView().groups().rowOf("local.test"));
  ASSERT_TRUE(
      WaitUntil([&] { return doc.articleView().topLevelItemCount() == 3 && !doc.clientBusy(); }));
  doc.articleView().openArticleAt(1);
  ASSERT_TRUE(WaitUntil([&] { return doc.threadView().hasArticle(); }));
  EXPECT_EQ(doc.threadView().toPlainText(),
            QStringLiteral("Subject: Re: Root\n\nline\u240DFrom: spoof\n"));
  const auto newsrc = NewsrcPath("", Server());
  ASSERT_TRUE(WaitUntil([&] {
    return test::ReadFileBytes(newsrc).find("local.test! 1-997,999\r\n") != std::string::npos;
  }));
  EXPECT_TRUE(doc.connected());
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(server_.Finished());
}

// A server that drops the connection (INN does when it is idle) is said to
// have done so; the window keeps the group and its articles, and the next
// command connects again and selects the group first.
TEST_F(NewsreaderWindow, AfterTheServerDropsTheNextCommandConnectsAgain) {
  Store(server_.port());
  test::Script script;
  OpenLocalTest(script)
      .Close()
      .Accept()
      .Send("200 again\r\n")
      .ExpectLine("CAPABILITIES")
      .Send(kReaderCapabilities)
      .ExpectLine("GROUP local.test")
      .Send("211 3 998 1000 local.test\r\n")
      .ExpectLine("ARTICLE <b@x>")
      .Send("220 999 <b@x>\r\nSubject: Re: Root\r\n\r\nback\r\n.\r\n")
      .ExpectLine("QUIT")
      .Send("205 bye\r\n")
      .Close();
  server_.Start(std::move(script));
  CNNTPDoc doc(services_, dialogs_);
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return doc.groupView().groups().rowCount() == 2; }));
  doc.groupView().openGroupAt(doc.groupView().groups().rowOf("local.test"));
  ASSERT_TRUE(WaitUntil([&] { return !services_.reporter_.Texts().empty(); }));
  EXPECT_EQ(services_.reporter_.Texts()[0],
            "The server closed the connection. The next command connects again.");
  EXPECT_EQ(doc.articleView().topLevelItemCount(), 3);
  EXPECT_TRUE(doc.connected());
  EXPECT_FALSE(doc.canConnect());
  doc.articleView().openArticleAt(1);
  ASSERT_TRUE(WaitUntil([&] { return doc.threadView().hasArticle(); }));
  EXPECT_NE(doc.threadView().articleText().find("back"), std::string::npos);
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(server_.Finished());
}

// The events of a replaced connection never reach the window: what was
// queued before close() is dropped, and nothing ever waits on the window.
TEST(NntpEventQueue, DeliversInOrderAndDropsWhatComesAfterClose) {
  test::NntpRecorder window;
  auto queue = std::make_unique<CNntpEventQueue>(window);
  queue->Greeted(true);
  queue->GroupSelected({3, 1, 3}, false);
  EXPECT_TRUE(window.Seen().greetings.empty());  // queued, not delivered on the spot
  ASSERT_TRUE(WaitUntil([&] { return window.Seen().groups.size() == 1; }));
  EXPECT_EQ(window.Seen().greetings, (std::vector<bool>{true}));
  queue->ArticleArrived(std::string("late"));
  queue->Closed(NntpEnd::ByServer);
  queue->close();
  QCoreApplication::processEvents();  // delivers what was posted before, if it were delivered
  EXPECT_TRUE(window.Seen().articles.empty());
  EXPECT_FALSE(window.Seen().closed);
}

// A refused LIST ends the refresh: the server's words are shown and the
// commands come back.
TEST_F(NewsreaderWindow, ARefusedListIsShownAndEndsTheRefresh) {
  Store(server_.port());
  server_.Start(ListThenQuit("480 Authentication required\r\n"));
  CNNTPDoc doc(services_, dialogs_);
  doc.connectToServer();
  ASSERT_TRUE(doc.groupView().refreshing());
  ASSERT_TRUE(WaitUntil([&] { return !doc.groupView().refreshing() && !doc.clientBusy(); }));
  doc.setActivePane(NewsPane::Groups);
  EXPECT_TRUE(doc.action(NewsCommand::RefreshGroupList)->isEnabled());
  const auto texts = services_.reporter_.Texts();
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Command: LIST\r\n480 Authentication required"),
            texts.end());
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(server_.Finished());
}

// Picks Connect in `doc` and answers its host prompt (the real one) with
// `host`, or cancels it when `host` is empty; answers the hosts it offered.
QStringList AnswerTheHostPrompt(CNNTPDoc& doc, const QString& host) {
  QStringList offered;
  bool answered = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* prompt = qobject_cast<CHostPromptDlg*>(QApplication::activeModalWidget());
    if (prompt == nullptr || answered) return;
    answered = true;
    const auto* hosts = prompt->findChild<QComboBox*>();
    for (int i = 0; i < hosts->count(); ++i) offered << hosts->itemText(i);
    prompt->findChild<QLineEdit*>()->setText(host);
    if (host.isEmpty()) {
      prompt->reject();
    } else {
      prompt->accept();
    }
  });
  poll.start(10);
  doc.connectToServer();
  EXPECT_TRUE(answered) << "no host prompt";
  return offered;
}

// The host prompt offers the servers the newsreader connected to, most
// recent first, and none another tool was given.
TEST_F(NewsreaderWindow, TheHostPromptOffersTheServersConnectedToMostRecentFirst) {
  Store(server_.port());
  ASSERT_TRUE(RememberRecentHost("Finger", "127.0.0.9"));
  test::CScriptedServer second;
  QStringList connected;
  for (test::CScriptedServer* server : {&server_, &second}) {
    server->Start(ListThenQuit("215 list\r\nlocal.test 2 1 y\r\n.\r\n"));
    CNNTPDoc doc(services_);
    EXPECT_EQ(AnswerTheHostPrompt(doc, QStringLiteral("127.0.0.1:%1").arg(server->port())),
              connected);
    connected.prepend(QStringLiteral("127.0.0.1:%1").arg(server->port()));
    ASSERT_TRUE(WaitUntil([&] { return doc.groupView().groups().rowCount() == 1; }));
    doc.disconnect();
    ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
    EXPECT_TRUE(server->Finished());
  }
  CNNTPDoc doc(services_);
  EXPECT_EQ(AnswerTheHostPrompt(doc, {}), connected);
  EXPECT_FALSE(doc.connected());
}

// The main window as far as a posting window needs it: an MDI area.
class FakeShell : public IShellContext, public FakeServices {
 public:
  FakeShell() { area_.resize(900, 600); }
  QWidget* mainWindow() override { return &area_; }
  CToolServices& toolServices() override { return *this; }
  CToolView* openTool(int) override { return nullptr; }
  void openToolWindow(CToolView* view, const QString&) override {
    area_.addSubWindow(view)->setAttribute(Qt::WA_DeleteOnClose);
    view->show();
    posts.push_back(qobject_cast<CNNTPPostDoc*>(view));
  }
  ITftpServer* tftpServer() override { return nullptr; }
  void setAlwaysOnTop(bool) override {}
  void setClockShown(bool) override {}
  std::vector<QPointer<CNNTPPostDoc>> posts;

 private:
  QMdiArea area_;
};

// Against INN: a follow-up written from the article view is posted through
// the window's connection and comes back threaded under its article.
TEST_F(NewsreaderWindow, FollowUpFromTheArticleViewIsPostedAndThreaded) {
  NETROVE_REQUIRE_INN();
  test::InnInstance inn;
  ASSERT_TRUE(inn.started()) << "the private INN did not start";
  Store(inn.port());
  WriteNewsText(kNewsUserFullName, "Pat Reader");
  WriteNewsText(kNewsUserAddress, "pat@netrove.test");
  WriteNewsNumber(kNewsUserFrom, 2);  // "Pat Reader <pat@netrove.test>"
  FakeShell shell;
  CNNTPDoc doc(shell, dialogs_);
  CNNTPGroupView& groups = doc.groupView();
  CNNTPArticleView& articles = doc.articleView();
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return groups.groups().rowOf("local.test") >= 0; }));
  ASSERT_TRUE(WaitUntil([&] { return !doc.clientBusy(); }));
  groups.openGroupAt(groups.groups().rowOf("local.test"));
  ASSERT_TRUE(WaitUntil([&] { return !doc.clientBusy(); }));
  ASSERT_EQ(articles.topLevelItemCount(), 0);  // an empty group

  // A new article first, then a follow-up to it read from the window.
  doc.setActivePane(NewsPane::Articles);
  doc.action(NewsCommand::NewArticle)->trigger();
  ASSERT_EQ(shell.posts.size(), 1u);
  QPointer<CNNTPPostDoc> post = shell.posts[0];
  post->frame()->headers()->subjectField()->setText(QStringLiteral("Root"));
  post->frame()->body()->setPlainText(QStringLiteral("The root."));
  post->send();
  ASSERT_TRUE(WaitUntil([&] { return post.isNull(); }));
  // Opening the group again selects it anew and fetches its one article.
  groups.openGroupAt(groups.groups().rowOf("local.test"));
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 1 && !doc.clientBusy(); }));
  articles.openArticleAt(0);
  ASSERT_TRUE(WaitUntil([&] { return doc.threadView().hasArticle(); }));
  doc.setActivePane(NewsPane::Text);
  EXPECT_TRUE(doc.action(NewsCommand::CancelArticle)->isEnabled());  // the user's own
  doc.action(NewsCommand::IncludeArticle)->trigger();
  ASSERT_EQ(shell.posts.size(), 2u);
  post = shell.posts[1];
  post->frame()->body()->appendPlainText(QStringLiteral("Agreed."));
  post->send();
  ASSERT_TRUE(WaitUntil([&] { return post.isNull(); }));

  // The server shows a group's new articles after it is selected again; the
  // reselection offers older articles, which the test declines.
  groups.openGroupAt(groups.groups().rowOf("local.test"));
  ASSERT_TRUE(WaitUntil([&] { return !doc.clientBusy(); }));
  dialogs_.headerCounts = {10};
  articles.retrieveNew();
  ASSERT_TRUE(WaitUntil([&] { return articles.topLevelItemCount() == 2 && !doc.clientBusy(); }));
  doc.setActivePane(NewsPane::Articles);
  articles.setCurrentItem(articles.topLevelItem(1));
  doc.action(NewsCommand::ThreadUnthread)->trigger();
  ASSERT_EQ(articles.topLevelItemCount(), 2);
  EXPECT_EQ(articles.topLevelItem(0)->text(0), QStringLiteral("Root"));
  EXPECT_EQ(articles.topLevelItem(1)->text(0), QStringLiteral(">Re: Root"));
  articles.openArticleAt(1);
  ASSERT_TRUE(WaitUntil(
      [&] { return doc.threadView().articleText().find("Agreed.") != std::string::npos; }));
  EXPECT_NE(doc.threadView().articleText().find("Pat Reader wrote:\r\n\r\n>The root."),
            std::string::npos);
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
}

// A follow-up goes where the article asks (Followup-To), not to the group
// it was read in; "poster" is said before the window opens.
TEST_F(NewsreaderWindow, FollowUpsGoToTheGroupsTheArticleNames) {
  Store(server_.port());
  WriteNewsText(kNewsUserFullName, "Pat Reader");
  WriteNewsText(kNewsUserAddress, "pat@netrove.test");
  server_.Start(
      std::move(test::Script()
                    .Accept()
                    .Send("200 scripted news\r\n")
                    .ExpectLine("CAPABILITIES")
                    .Send(kReaderCapabilities)
                    .ExpectLine("LIST")
                    .Send("215 list\r\nlocal.test 2 1 y\r\n.\r\n")
                    .ExpectLine("GROUP local.test")
                    .Send("211 2 1 2 local.test\r\n")
                    .ExpectLine("STAT 2")
                    .Send("223 2 <p@x>\r\n")
                    .ExpectLine("HEAD")
                    .Send("221 2 <p@x>\r\nSubject: Mail me\r\nMessage-ID: <p@x>\r\n"
                          "Newsgroups: local.test,alt.two\r\nFollowup-To: poster\r\n.\r\n")
                    .Expect("LAST\r\nHEAD\r\n")
                    .Send("223 1 <f@x>\r\n")
                    .Send("221 1 <f@x>\r\nSubject: Elsewhere\r\nMessage-ID: <f@x>\r\n"
                          "Newsgroups: local.test\r\nFollowup-To: alt.answers\r\n.\r\n")
                    .ExpectLine("ARTICLE <f@x>")
                    .Send("220 1 <f@x>\r\nSubject: Elsewhere\r\n\r\nbody\r\n.\r\n")
                    .ExpectLine("ARTICLE <p@x>")
                    .Send("220 2 <p@x>\r\nSubject: Mail me\r\n\r\nbody\r\n.\r\n")
                    .ExpectLine("QUIT")
                    .Send("205 bye\r\n")
                    .Close()));
  FakeShell shell;
  CNNTPDoc doc(shell, dialogs_);
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return doc.groupView().groups().rowCount() == 1; }));
  doc.groupView().openGroupAt(0);
  ASSERT_TRUE(
      WaitUntil([&] { return doc.articleView().topLevelItemCount() == 2 && !doc.clientBusy(); }));
  const auto followUp = [&](int row, const std::string& id) {
    doc.articleView().openArticleAt(row);
    EXPECT_TRUE(WaitUntil([&] {
      const auto& shown = doc.articleView().shownArticle();
      return shown && shown->messageId == id;
    }));
    doc.articleView().compose(std::nullopt, false);
    return shell.posts.back()->frame()->headers()->newsgroupsField()->text();
  };
  EXPECT_EQ(followUp(1, "<f@x>"), QStringLiteral("alt.answers"));
  EXPECT_TRUE(dialogs_.boxes.empty());
  EXPECT_EQ(followUp(0, "<p@x>"), QStringLiteral("local.test,alt.two"));
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_TRUE(dialogs_.boxes[0].contains(QStringLiteral("Followup-To: poster")));
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(server_.Finished());
}

// A server whose certificate comes from an issuer the system does not
// know: the window asks, the user trusts it, and the window connects again
// over TLS with the certificate pinned; the password is asked once.
TEST_F(NewsreaderWindow, TrustedCertificateIsPinnedAndTheWindowSignsInOverTls) {
  NETROVE_REQUIRE_INN();
  test::CTestCertificates pki(home_.path() / "pki");
  const auto certificate = pki.Issue("news", {"127.0.0.1"});
  test::InnInstance inn(
      test::InnSecurity{certificate.certificate, certificate.key, "reader", "s3cret-pass"});
  ASSERT_TRUE(inn.started()) << "the private INN did not start";
  Store(inn.port());
  WriteNewsNumber(kNewsTlsMode, static_cast<std::uint32_t>(TlsMode::Required));
  WriteNewsText(kNewsSignInUser, "reader");
  dialogs_.password = QStringLiteral("s3cret-pass");
  dialogs_.trust = true;
  CSessionPasswords passwords;
  CNNTPDoc doc(services_, dialogs_);
  doc.setPasswordStore(passwords);
  CNNTPGroupView& groups = doc.groupView();
  doc.connectToServer();
  ASSERT_TRUE(
      WaitUntil([&] { return groups.groups().rowOf("local.test") >= 0 && !doc.clientBusy(); }));
  ASSERT_EQ(dialogs_.trustAsked.size(), 1u);
  EXPECT_EQ(dialogs_.trustAsked[0].certificate.sha256, certificate.sha256);
  EXPECT_EQ(FindPinnedCertificate(PinnedCertificatesFile(), "127.0.0.1", inn.port()),
            certificate.sha256);
  EXPECT_EQ(dialogs_.passwordsAsked, (std::vector<QString>{QStringLiteral("reader")}));
  EXPECT_EQ(passwords.Find({"nntp", "127.0.0.1", inn.port(), "reader"}),
            std::optional<std::string>("s3cret-pass"));
  doc.disconnect();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_TRUE(services_.reporter_.Messages().empty());

  // A refused password is forgotten, so the next connection asks again.
  passwords.Remember({"nntp", "127.0.0.1", inn.port(), "reader"}, "wrong");
  doc.connectToServer();
  ASSERT_TRUE(WaitUntil([&] { return doc.canConnect(); }));
  EXPECT_FALSE(passwords.Find({"nntp", "127.0.0.1", inn.port(), "reader"}));
  EXPECT_EQ(dialogs_.passwordsAsked.size(), 1u);
}

}  // namespace
}  // namespace netrove
