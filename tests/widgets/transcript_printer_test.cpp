#include "widgets/transcript_printer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextCursor>
#include <cstdlib>

#include "widgets/transcript_view.h"

namespace netrove {
namespace {

class TranscriptPrinterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.isValid());
    printer_.setOutputFormat(QPrinter::PdfFormat);
    printer_.setOutputFileName(pdfPath());
    printer_.setPageSize(QPageSize(QPageSize::Letter));
    // A printer's usual unprintable border.
    printer_.setPageMargins(QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch);
  }

  QString pdfPath() const { return folder_.filePath(QStringLiteral("transcript.pdf")); }

  // The PDF's text as pdftotext lays it out, of one page or of all.
  QString PdfText(int page = 0) const {
    QStringList arguments{QStringLiteral("-layout")};
    if (page > 0) {
      arguments << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l")
                << QString::number(page);
    }
    arguments << pdfPath() << QStringLiteral("-");
    QProcess process;
    process.start(QStringLiteral("pdftotext"), arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput());
  }

  QTemporaryDir folder_;
  QPrinter printer_{QPrinter::HighResolution};
  CTranscriptView view_;
};

TEST_F(TranscriptPrinterTest, PrintsOnlyTheSelectionWhenItIsChosen) {
  view_.AppendTranscript("alpha line\r\nbeta line\r\ngamma line\r\n");
  QApplication::processEvents();
  QTextCursor cursor(view_.document());
  cursor.setPosition(11);
  cursor.setPosition(20, QTextCursor::KeepAnchor);  // "beta line"
  view_.setTextCursor(cursor);

  QPrintDialog dialog(&printer_);
  PrepareTranscriptPrintDialog(dialog, view_);
  EXPECT_TRUE(dialog.testOption(QAbstractPrintDialog::PrintSelection));
  EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintPageRange));
  EXPECT_EQ(dialog.printRange(), QAbstractPrintDialog::Selection);

  printer_.setPrintRange(QPrinter::Selection);
  ASSERT_EQ(PrintTranscriptTo(printer_, view_, QStringLiteral("Ping")), 1);
  QString text = PdfText();
  EXPECT_TRUE(text.contains(QStringLiteral("beta line"))) << text.toStdString();
  EXPECT_FALSE(text.contains(QStringLiteral("alpha")));
  EXPECT_FALSE(text.contains(QStringLiteral("gamma")));
  EXPECT_TRUE(text.contains(QStringLiteral("Page 1")));

  printer_.setPrintRange(QPrinter::AllPages);
  ASSERT_EQ(PrintTranscriptTo(printer_, view_, QStringLiteral("Ping")), 1);
  text = PdfText();
  EXPECT_TRUE(text.contains(QStringLiteral("alpha line")));
  EXPECT_TRUE(text.contains(QStringLiteral("gamma line")));

  view_.moveCursor(QTextCursor::End);
  PrepareTranscriptPrintDialog(dialog, view_);
  EXPECT_FALSE(dialog.testOption(QAbstractPrintDialog::PrintSelection));
  EXPECT_EQ(dialog.printRange(), QAbstractPrintDialog::AllPages);
}

std::string PingTranscript() {
  std::string text = "Pinging localhost [127.0.0.1] with 64 bytes of data:\r\n\r\n";
  for (int sequence = 1; sequence <= 300; ++sequence) {
    text += "Reply from 127.0.0.1: bytes=64 time<10ms TTL=64 sequence=" + std::to_string(sequence) +
            "\r\n";
    if (sequence % 40 == 20) {
      text +=
          "Note: replies continue to arrive once per second while the run goes on, and "
          "this long line, far wider than the page, is broken into lines that are "
          "justified to the full width of the text area, the last one left as it is.\r\n";
    }
  }
  return text + "\r\nPing statistics for 127.0.0.1:\r\n";
}

TEST_F(TranscriptPrinterTest, EveryPageHasHeaderAndFooter) {
  view_.AppendTranscript(PingTranscript());
  const int pages = PrintTranscriptTo(printer_, view_, QStringLiteral("Ping"));
  ASSERT_GE(pages, 2);
  for (int page = 1; page <= pages; ++page) {
    const QString text = PdfText(page);
    EXPECT_TRUE(text.contains(QStringLiteral("Ping"))) << page;
    EXPECT_TRUE(text.contains(QStringLiteral("Page %1").arg(page))) << page;
    EXPECT_TRUE(text.contains(QStringLiteral("Netrove by Corvane Inc."))) << page;
  }
  EXPECT_TRUE(PdfText(pages).contains(QStringLiteral("Ping statistics for 127.0.0.1:")));

  // The first page as a picture for the documentation, when NETROVE_SCREENSHOTS
  // names a folder.
  if (const QByteArray folder = qgetenv("NETROVE_SCREENSHOTS"); !folder.isEmpty()) {
    const QString target = QString::fromLocal8Bit(folder) + QStringLiteral("/print-page");
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                       QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                       QStringLiteral("1"), QStringLiteral("-singlefile"), pdfPath(), target});
  }
}

TEST_F(TranscriptPrinterTest, A4PrintsSmallerThanLetter) {
  // Letter prints 12-point body text, A4 8-point: more lines fit on a page.
  view_.AppendTranscript(PingTranscript());
  const int letterPages = PrintTranscriptTo(printer_, view_, QStringLiteral("Ping"));
  printer_.setPageSize(QPageSize(QPageSize::A4));
  const int a4Pages = PrintTranscriptTo(printer_, view_, QStringLiteral("Ping"));
  EXPECT_LT(a4Pages * 3, letterPages * 2) << a4Pages << " " << letterPages;
}

}  // namespace
}  // namespace netrove
