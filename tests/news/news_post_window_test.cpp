// Posting windows driven offscreen: Send through a real connection to a
// scripted server and to a private INN, the window hidden until the outcome
// and shown again on every failure, the refusals of Send, the close question
// and the missing identity.
#include "news/news_post_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <memory>

#include "inn_fixture.h"
#include "news/news_post_frame.h"
#include "news/news_post_headers.h"
#include "news/news_settings.h"
#include "news/nntp_connection.h"
#include "support/event_loop.h"
#include "support/recording_reporter.h"
#include "support/scoped_home.h"
#include "support/scripted_server.h"
#include "support/wait_until.h"
#include "widgets/shell_context.h"

namespace netrove {
namespace {

// A server that reads news already, as its CAPABILITIES say.
constexpr char kReaderCapabilities[] = "101 Capability list:\r\nVERSION 2\r\nREADER\r\n.\r\n";

using test::Script;

constexpr NntpWindow kListWindow = 1;

bool WaitFor(const std::function<bool()>& condition) {
  return test::WaitUntil(condition, test::TurnEventLoop);
}

// The main window as far as posting windows need it: an MDI area.
class FakeShell : public IShellContext, public CToolServices {
 public:
  FakeShell() {
    area_.resize(800, 600);
    area_.show();
  }
  QWidget* mainWindow() override { return &area_; }
  CToolServices& toolServices() override { return *this; }
  CToolView* openTool(int) override { return nullptr; }
  void openToolWindow(CToolView* view, const QString&) override {
    auto* window = area_.addSubWindow(view);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
  }
  ITftpServer* tftpServer() override { return nullptr; }
  void setAlwaysOnTop(bool) override {}
  void setClockShown(bool) override {}
  IMainWindowReporter& reporter() override { return reporter_; }
  void showHelp(int) override {}

 private:
  QMdiArea area_;
  test::RecordingReporter reporter_;
};

// The newsreader window's side of posting: it owns the connection, queues
// the POST and passes each outcome to the posting window.
class PostingPane : public QObject, public INntpEvents {
 public:
  void BusyChanged(bool) override {}
  void Greeted(bool) override {}
  void GroupListArrived(std::string) override {}
  void GroupSelected(const NntpGroupCounts&, bool) override {}
  void GroupUnavailable(NntpGroupProblem) override {}
  void HeadersArrived(std::vector<NntpHeaderBlock>, int) override {}
  void ArticleArrived(std::optional<std::string> text) override {
    if (!text) return;
    std::lock_guard lock(mutex_);
    articles_.push_back(std::move(*text));
  }
  void PostEnded(NntpWindow window, NntpPostOutcome outcome, const std::string&) override {
    if (window != kListWindow) DeliverNewsPostOutcome(window, outcome);
  }
  void CommandRefused(int, const std::string&) override {}
  void CertificateNotTrusted(const TlsHandshakeReport&) override {}
  void Closed(NntpEnd) override {}
  void Connect(std::uint16_t port) {
    connection_ = std::make_unique<CNNTPConnection>(port, *this, reporter_, "127.0.0.1");
    ASSERT_TRUE(connection_->Start());
  }
  NewsPostSender Sender() {
    return [this](std::string article, NntpWindow window) {
      return connection_ != nullptr &&
             connection_->QueueCommand(kNntpPost, std::move(article), {window, kListWindow}) ==
                 QueueOutcome::Queued;
    };
  }
  CNNTPConnection& connection() { return *connection_; }
  std::vector<std::string> Articles() {
    std::lock_guard lock(mutex_);
    return articles_;
  }

 private:
  test::RecordingReporter reporter_;
  std::unique_ptr<CNNTPConnection> connection_;
  std::mutex mutex_;
  std::vector<std::string> articles_;
};

// Answers every message box that opens with `answer` and keeps its text.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok) : answer_(answer) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      texts.push_back(box->text());
      icons.push_back(box->icon());
      QAbstractButton* button = box->button(answer_);
      button != nullptr ? button->click() : box->reject();
    });
    timer_.start(10);
  }
  void answerWith(QMessageBox::StandardButton answer) { answer_ = answer; }
  std::vector<QString> texts;
  std::vector<QMessageBox::Icon> icons;

 private:
  QTimer timer_;
  QMessageBox::StandardButton answer_;
};

class NewsPostWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteNewsText(kNewsUserFullName, "Pat Poster"));
    ASSERT_TRUE(WriteNewsText(kNewsUserAddress, "pat@netrove.test"));
    ASSERT_TRUE(WriteNewsNumber(kNewsUserFrom, 2));
  }
  CNNTPPostDoc* Open(NewsPostMode mode, const NewsPostArticle& article = {}) {
    return qobject_cast<CNNTPPostDoc*>(
        OpenNewsPostWindow(shell_, &pane_, pane_.Sender(), mode, "local.test", article));
  }
  static QMdiSubWindow* Host(CNNTPPostDoc* post) {
    return qobject_cast<QMdiSubWindow*>(post->parentWidget());
  }

  test::ScopedHome home_;
  FakeShell shell_;
  PostingPane pane_;
};

NewsPostArticle AnsweredArticle() {
  NewsPostArticle article;
  article.subject = "re: Topic";
  article.from = "Ann Author <ann@netrove.test>";
  article.articleKey = "<root@a> <parent@b>";
  article.messageId = "<parent@b>";
  article.quotedText = "first line\r\n.dotted\r\n";
  return article;
}

constexpr char kFollowUpWire[] =
    "From: Pat Poster <pat@netrove.test>\r\nSubject: re: Topic\r\nNewsgroups: local.test\r\n"
    "References: <root@a> <parent@b>\r\n"
    "X-Newsreader: Netrove - Version 3.00 (Build 55).\r\n\r\n"
    "\r\n\r\nAnn Author wrote:\r\n\r\n>first line\r\n>.dotted\r\nMy answer.\r\n..end\r\n.\r\n";

TEST_F(NewsPostWindowTest, FollowUpIsHiddenUntilTheVerdictAndBackWithItsTextOn441) {
  test::CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("200 ok\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("POST")
                   .Send("340 go ahead\r\n")
                   .Expect(kFollowUpWire)
                   .Send("441 posting failed\r\n")
                   .ExpectLine("POST")
                   .Send("340 go ahead\r\n")
                   .Expect(kFollowUpWire)
                   .Send("240 article posted\r\n"));
  pane_.Connect(server.port());
  CNNTPPostDoc* post = Open(NewsPostMode::FollowUp, AnsweredArticle());
  ASSERT_NE(post, nullptr);
  EXPECT_EQ(post->documentTitle(), QStringLiteral("Posting to: local.test"));
  CNNTPPostHeaders* headers = post->frame()->headers();
  EXPECT_EQ(headers->fromList()->currentText(), QStringLiteral("Pat Poster <pat@netrove.test>"));
  EXPECT_EQ(headers->replyToList()->count(), 4);
  QPlainTextEdit* body = post->frame()->body();
  body->moveCursor(QTextCursor::End);
  body->insertPlainText(QStringLiteral("\nMy answer.\n.end"));

  QPointer<QMdiSubWindow> host = Host(post);
  headers->sendButton()->click();
  EXPECT_TRUE(post->awaitsOutcome());
  EXPECT_TRUE(post->isBusy());
  EXPECT_FALSE(host->isVisible());
  // 441: the newsreader window says so; the posting window comes back as it was.
  ASSERT_TRUE(WaitFor([&] { return host->isVisible(); }));
  EXPECT_FALSE(post->isBusy());
  EXPECT_TRUE(body->toPlainText().endsWith(QStringLiteral("My answer.\n.end")));

  headers->sendButton()->click();
  ASSERT_TRUE(WaitFor([&] { return host.isNull(); }));  // 240: closed without a question
  EXPECT_TRUE(server.Finished());
}

TEST_F(NewsPostWindowTest, EveryPostThatFailsOtherwiseBringsTheWindowBack) {
  test::CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("200 ok\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("POST")
                   .Send("502 not for you\r\n")
                   .ExpectLine("POST")
                   .Close());
  pane_.Connect(server.port());
  BoxAnswerer boxes;
  CNNTPPostDoc* post = Open(NewsPostMode::Post);
  ASSERT_NE(post, nullptr);
  post->frame()->headers()->subjectField()->setText(QStringLiteral("Hello"));
  post->frame()->body()->setPlainText(QStringLiteral("text"));
  QPointer<QMdiSubWindow> host = Host(post);

  // Refused with 5xx: only the newsreader window heard of it.
  post->send();
  ASSERT_FALSE(host->isVisible());
  ASSERT_TRUE(WaitFor([&] { return host->isVisible(); }));
  ASSERT_TRUE(WaitFor([&] { return boxes.texts.size() == 1; }));
  EXPECT_EQ(boxes.texts[0], QString::fromLatin1(kNotPostedText));
  // The server goes away with the article unanswered.
  post->send();
  ASSERT_TRUE(WaitFor([&] { return host->isVisible() && boxes.texts.size() == 2; }));
  EXPECT_TRUE(server.Finished());
  // Not connected any more: nothing is queued, the window stays.
  post->send();
  ASSERT_EQ(boxes.texts.size(), 3u);
  EXPECT_EQ(boxes.texts[2], QString::fromLatin1(kNotQueuedText));
  EXPECT_TRUE(host->isVisible());
  EXPECT_EQ(post->frame()->body()->toPlainText(), QStringLiteral("text"));
}

TEST_F(NewsPostWindowTest, OwnerClosingShowsAWaitingWindowAgain) {
  test::CScriptedServer server;
  server.Start(Script()
                   .Accept()
                   .Send("200 ok\r\n")
                   .ExpectLine("CAPABILITIES")
                   .Send(kReaderCapabilities)
                   .ExpectLine("POST")
                   .Wait(std::chrono::milliseconds(200)));
  auto owner = std::make_unique<PostingPane>();
  owner->Connect(server.port());
  BoxAnswerer boxes;
  auto* post = qobject_cast<CNNTPPostDoc*>(OpenNewsPostWindow(
      shell_, owner.get(), owner->Sender(), NewsPostMode::Post, "local.test", {}));
  post->frame()->headers()->subjectField()->setText(QStringLiteral("Hello"));
  post->frame()->body()->setPlainText(QStringLiteral("text"));
  QPointer<QMdiSubWindow> host = Host(post);
  post->send();
  ASSERT_TRUE(post->awaitsOutcome());
  owner.reset();
  ASSERT_TRUE(WaitFor([&] { return host->isVisible() && !boxes.texts.empty(); }));
  EXPECT_FALSE(post->isBusy());
  post->send();  // nobody to post through
  EXPECT_EQ(boxes.texts.back(), QString::fromLatin1(kNotQueuedText));
}

TEST_F(NewsPostWindowTest, SendRefusesMissingFieldsAndClosingAsksFirst) {
  BoxAnswerer boxes;
  CNNTPPostDoc* post = Open(NewsPostMode::Post);
  ASSERT_NE(post, nullptr);
  CNNTPPostHeaders* headers = post->frame()->headers();
  QPointer<QMdiSubWindow> host = Host(post);
  EXPECT_EQ(headers->newsgroupsField()->text(), QStringLiteral("local.test"));
  EXPECT_FALSE(post->isModified());

  post->send();
  headers->subjectField()->setText(QStringLiteral("Hi"));
  headers->newsgroupsField()->clear();
  post->send();
  headers->newsgroupsField()->setText(QStringLiteral("local.test"));
  post->send();
  ASSERT_EQ(boxes.texts.size(), 3u);
  EXPECT_EQ(boxes.texts[0], QStringLiteral("The Subject field is required."));
  EXPECT_EQ(boxes.texts[1], QStringLiteral("The Newsgroups field is required."));
  EXPECT_EQ(boxes.texts[2], QStringLiteral("The body of the message is empty."));
  EXPECT_EQ(boxes.icons[0], QMessageBox::Information);
  EXPECT_FALSE(post->awaitsOutcome());

  QTest::keyClicks(post->frame()->body(), QStringLiteral("unsent"));
  EXPECT_TRUE(post->isModified());
  boxes.answerWith(QMessageBox::No);
  host->close();
  ASSERT_EQ(boxes.texts.size(), 4u);
  EXPECT_EQ(boxes.texts[3], QString::fromLatin1(kDoNotPostQuestion));
  EXPECT_FALSE(host.isNull());
  boxes.answerWith(QMessageBox::Yes);
  host->close();
  ASSERT_TRUE(WaitFor([&] { return host.isNull(); }));
}

TEST_F(NewsPostWindowTest, CancelAndMissingIdentity) {
  NewsPostArticle article;
  article.messageId = "<mine@here>";
  CNNTPPostDoc* cancel = Open(NewsPostMode::Cancel, article);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->frame()->headers()->subjectField()->text(),
            QStringLiteral("Cancel <mine@here>"));
  EXPECT_EQ(cancel->frame()->body()->toPlainText(),
            QStringLiteral("\nArticle <mine@here> cancelled.\n\nReason:\n\tNONE GIVEN"));

  ASSERT_TRUE(WriteNewsText(kNewsUserAddress, ""));
  BoxAnswerer boxes;
  EXPECT_EQ(Open(NewsPostMode::Post), nullptr);
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], QString::fromLatin1(kIdentityRequiredText));
}

// Against INN: a new article and a follow-up to it are accepted and read
// back as they were typed.
TEST_F(NewsPostWindowTest, PostAndFollowUpAreReadBackFromInn) {
  NETROVE_REQUIRE_INN();
  test::InnInstance inn;
  ASSERT_TRUE(inn.started()) << "the private INN did not start";
  pane_.Connect(inn.port());

  CNNTPPostDoc* post = Open(NewsPostMode::Post);
  ASSERT_NE(post, nullptr);
  post->frame()->headers()->subjectField()->setText(QStringLiteral("Window post"));
  post->frame()->body()->setPlainText(QStringLiteral(".hidden dot\nsecond line"));
  QPointer<QMdiSubWindow> host = Host(post);
  post->send();
  ASSERT_TRUE(WaitFor([&] { return host.isNull(); }));

  NewsPostArticle answered;
  answered.subject = "Window post";
  answered.from = "Pat Poster <pat@netrove.test>";
  answered.articleKey = "<window-post@netrove.test>";
  answered.quotedText = ".hidden dot\r\nsecond line\r\n";
  CNNTPPostDoc* followUp = Open(NewsPostMode::FollowUp, answered);
  ASSERT_NE(followUp, nullptr);
  followUp->frame()->body()->appendPlainText(QStringLiteral("Agreed."));
  host = Host(followUp);
  followUp->send();
  ASSERT_TRUE(WaitFor([&] { return host.isNull(); }));

  ASSERT_EQ(pane_.connection().QueueCommand(kNntpGroup, "local.test"), QueueOutcome::Queued);
  ASSERT_EQ(pane_.connection().QueueCommand(kNntpArticle, "1"), QueueOutcome::Queued);
  ASSERT_EQ(pane_.connection().QueueCommand(kNntpArticle, "2"), QueueOutcome::Queued);
  ASSERT_TRUE(WaitFor([&] { return pane_.Articles().size() == 2; }));
  const std::string first = pane_.Articles()[0];
  const std::string second = pane_.Articles()[1];
  EXPECT_NE(first.find("Subject: Window post\r\n"), std::string::npos);
  EXPECT_NE(first.find("\r\n\r\n.hidden dot\r\nsecond line\r\n"), std::string::npos);
  EXPECT_NE(second.find("Subject: Re: Window post\r\n"), std::string::npos);
  EXPECT_NE(second.find("References: <window-post@netrove.test>\r\n"), std::string::npos);
  EXPECT_NE(second.find("Pat Poster wrote:\r\n\r\n>.hidden dot\r\n>second line\r\nAgreed.\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace netrove
