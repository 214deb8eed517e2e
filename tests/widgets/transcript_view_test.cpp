#include "widgets/transcript_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "support/event_loop.h"
#include "support/file_bytes.h"
#include "support/scoped_home.h"
#include "support/wait_until.h"
#include "widgets/transcript_saver.h"

namespace netrove {
namespace {

std::string Numbered(const char* prefix, int from, int to) {
  std::string text;
  for (int line = from; line < to; ++line)
    text.append(prefix).append(std::to_string(line)).append("\r\n");
  return text;
}

bool AtLastLine(const CTranscriptView& view) {
  return view.verticalScrollBar()->value() == view.verticalScrollBar()->maximum();
}

// As a terminal: the view follows new lines while it shows the last one and
// keeps the lines in view once the user has scrolled up.
TEST(TranscriptView, FollowsTheEndUntilTheUserScrollsUp) {
  CTranscriptView view;
  view.resize(300, 200);
  view.show();
  for (int line = 0; line < 1000; ++line) {
    view.AppendTranscript(Numbered("line ", line, line + 1));
    if (line % 100 == 0) QApplication::processEvents();
  }
  QApplication::processEvents();
  EXPECT_GT(view.firstVisibleLine(), 900);
  EXPECT_TRUE(AtLastLine(view));

  view.verticalScrollBar()->setValue(500);
  QApplication::processEvents();
  ASSERT_EQ(view.firstVisibleLine(), 500);
  for (int line = 0; line < 100; ++line) {
    view.AppendTranscript(Numbered("more ", line, line + 1));
    QApplication::processEvents();
    ASSERT_EQ(view.firstVisibleLine(), 500);
  }

  // The same while the user's cursor sits at the end of the text.
  QTextCursor cursor = view.textCursor();
  cursor.movePosition(QTextCursor::End);
  view.setTextCursor(cursor);
  view.verticalScrollBar()->setValue(300);
  view.AppendTranscript("partial line");
  view.AppendTranscript(" and its end\r\n");
  QApplication::processEvents();
  EXPECT_EQ(view.firstVisibleLine(), 300);
  EXPECT_EQ(view.document()->blockCount(), 1102);

  // Back at the last line, the view follows again: a continuous run's
  // closing lines come into view.
  view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
  QApplication::processEvents();
  const int atEnd = view.firstVisibleLine();
  view.AppendTranscript(Numbered("last ", 0, 50));
  QApplication::processEvents();
  EXPECT_EQ(view.firstVisibleLine(), atEnd + 50);
  EXPECT_TRUE(AtLastLine(view));
}

TEST(TranscriptView, ShowsTheTextLineForLineAndKeepsItsBytes) {
  CTranscriptView view;
  const std::string odd(
      "a\r\nb\rc\nd\0e\xE2\x80\xA9"
      "f\xE9\r",
      15);
  view.AppendTranscript(odd);
  view.AppendTranscript("\ng");
  EXPECT_EQ(view.text(), odd + "\ng");
  EXPECT_EQ(view.document()->blockCount(), 1);  // the box takes the lines together...
  QApplication::processEvents();                // ...when the event loop runs
  EXPECT_EQ(view.toPlainText(), QString::fromUtf8("a\nb\nc\nd\xEF\xBF\xBD"
                                                  "e\xEF\xBF\xBD"
                                                  "f\xC3\xA9\ng"));

  // The user can select but not change the text.
  QTest::keyClicks(&view, QStringLiteral("xyz"));
  QTest::keyClick(&view, Qt::Key_Backspace);
  EXPECT_EQ(view.text(), odd + "\ng");
  EXPECT_FALSE(view.hasSelection());
  view.selectAll();
  EXPECT_TRUE(view.hasSelection());
}

TEST(TranscriptView, SelectedRangeIsGivenInBytesOfTheText) {
  CTranscriptView view;
  view.AppendTranscript("first line\r\n\xC3\xA9t\xC3\xA9 second\r\nthird\r\n");
  QApplication::processEvents();
  QTextCursor cursor(view.document());
  cursor.setPosition(6);                                // "line" of the first line
  cursor.setPosition(11 + 3, QTextCursor::KeepAnchor);  // after "été"
  view.setTextCursor(cursor);
  const auto range = view.selectedRange();
  EXPECT_EQ(view.text().substr(range.begin, range.end - range.begin), "line\r\n\xC3\xA9t\xC3\xA9");
  view.moveCursor(QTextCursor::End);
  EXPECT_TRUE(view.selectedRange().empty());
}

TEST(TranscriptSink, AppendsFromWorkersArriveInOrder) {
  CTranscriptView view;
  CTranscriptSink sink(view);
  sink.AppendTranscript("from the GUI thread\r\n");
  std::thread first([&] {
    for (int line = 0; line < 300; ++line) sink.AppendTranscript(Numbered("a", line, line + 1));
  });
  std::thread second([&] {
    for (int line = 0; line < 300; ++line) sink.AppendTranscript(Numbered("b", line, line + 1));
  });
  EXPECT_TRUE(
      test::WaitUntil([&] { return view.document()->blockCount() == 602; }, test::TurnEventLoop));
  first.join();
  second.join();
  const std::string& text = view.text();
  EXPECT_EQ(text.rfind("from the GUI thread\r\n", 0), 0u);
  std::size_t a = 0, b = 0;
  for (int line = 0; line < 300; ++line) {
    const std::size_t nextA =
        text.find(std::string("a").append(std::to_string(line)).append("\r\n"));
    const std::size_t nextB =
        text.find(std::string("b").append(std::to_string(line)).append("\r\n"));
    ASSERT_NE(nextA, std::string::npos);
    ASSERT_NE(nextB, std::string::npos);
    EXPECT_GE(nextA, a);
    EXPECT_GE(nextB, b);
    a = nextA;
    b = nextB;
  }
}

TEST(TranscriptSink, DetachingReleasesAWaitingWorkerAndDropsLaterAppends) {
  CTranscriptView view;
  CTranscriptSink sink(view);
  std::atomic<bool> returned = false;
  std::thread worker([&] {
    sink.AppendTranscript("waits for the GUI thread\r\n");
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(returned);  // the GUI thread has not taken the text yet
  sink.detach();
  worker.join();  // safe only after detach()
  sink.AppendTranscript("dropped\r\n");
  QApplication::processEvents();
  EXPECT_EQ(view.text(), "");
}

TEST(TranscriptSink, DestroyingTheViewReleasesAWaitingWorker) {
  auto view = std::make_unique<CTranscriptView>();
  CTranscriptSink sink(*view);
  std::thread worker([&] {
    sink.AppendTranscript("never shown\r\n");
    sink.AppendTranscript("dropped at once\r\n");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  view.reset();
  worker.join();
  QApplication::processEvents();
}

// Save As writes what the transcript holds, whole, in the line ends asked
// for; a file that cannot be written is reported and nothing is left.
TEST(TranscriptSaver, WritesTheTranscriptWithTheChosenLineEnds) {
  test::ScopedHome home;
  CTranscriptView view;
  view.AppendTranscript("Pinging 127.0.0.1\r\nReply \xB5s\r\n");
  const QString lf = QString::fromStdString((home.path() / "lf.txt").string());
  const QString crLf = QString::fromStdString((home.path() / "crlf.txt").string());
  EXPECT_TRUE(WriteTranscriptFile(view, lf, TranscriptLineEnds::Lf).isEmpty());
  EXPECT_TRUE(WriteTranscriptFile(view, crLf, TranscriptLineEnds::CrLf).isEmpty());
  EXPECT_EQ(test::ReadFileBytes(lf.toStdString()), "Pinging 127.0.0.1\nReply \xC2\xB5s\n");
  EXPECT_EQ(test::ReadFileBytes(crLf.toStdString()), "Pinging 127.0.0.1\r\nReply \xC2\xB5s\r\n");

  const QString nowhere = QString::fromStdString((home.path() / "missing" / "x.txt").string());
  EXPECT_FALSE(WriteTranscriptFile(view, nowhere, TranscriptLineEnds::Lf).isEmpty());
  EXPECT_FALSE(std::filesystem::exists(home.path() / "missing"));
}

}  // namespace
}  // namespace netrove
