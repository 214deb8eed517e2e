// The "Broadcast" box offscreen: composing within the bytes a receiver reads,
// and showing a received text read-only and plain.
#include "peer/broadcast_dlg.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "peer/broadcast_send.h"

namespace netrove {
namespace {

QPushButton* Button(QDialog& box, const QString& text) {
  for (auto* button : box.findChildren<QPushButton*>()) {
    if (button->text() == text) return button;
  }
  return nullptr;
}

TEST(BroadcastBox, ComposesAtMostTheBytesAReceiverReads) {
  CBroadcastDlg box;
  box.show();
  auto* edit = box.findChild<QPlainTextEdit*>();
  ASSERT_NE(edit, nullptr);
  EXPECT_FALSE(Button(box, QStringLiteral("OK"))->isEnabled());
  QTest::keyClicks(edit, QStringLiteral("H"));
  EXPECT_TRUE(Button(box, QStringLiteral("OK"))->isEnabled());
  QTest::keyClicks(edit, QStringLiteral("i"));
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClicks(edit, QStringLiteral("yo"));
  Button(box, QStringLiteral("OK"))->click();
  EXPECT_EQ(box.wireText(), "Hi\r\nyo");

  // A 385th character cannot be typed; line breaks count two bytes each.
  CBroadcastDlg full;
  auto* fullEdit = full.findChild<QPlainTextEdit*>();
  QTest::keyClicks(fullEdit, QString(385, QLatin1Char('x')));
  EXPECT_EQ(fullEdit->toPlainText().size(), 384);
  fullEdit->clear();
  for (int i = 0; i < 384; ++i) QTest::keyClick(fullEdit, Qt::Key_Return);
  EXPECT_EQ(fullEdit->toPlainText().size(), 192);
  fullEdit->clear();
  EXPECT_FALSE(Button(full, QStringLiteral("OK"))->isEnabled());
  // Multi-byte characters count as their UTF-8 bytes.
  for (int i = 0; i < 200; ++i) fullEdit->insertPlainText(QString(QChar(0x00e9)));
  EXPECT_EQ(fullEdit->toPlainText().size(), 192);
  EXPECT_EQ(BroadcastWireText(fullEdit->toPlainText().toUtf8().toStdString()).size(), 384u);
}

TEST(BroadcastBox, ShowsAReceivedTextReadOnlyAsPlainText) {
  const QString received = QStringLiteral("<img src=\"file:///dev/zero\">\nline two");
  CBroadcastDlg box(received, nullptr);
  box.show();
  auto* edit = box.findChild<QPlainTextEdit*>();
  EXPECT_TRUE(edit->isReadOnly());
  EXPECT_EQ(edit->toPlainText(), received);
  EXPECT_FALSE(Button(box, QStringLiteral("Cancel"))->isVisible());
  EXPECT_EQ(box.windowTitle(), QStringLiteral("Broadcast"));
}

// Enter dismisses a received box through its default OK, from the button
// and from the text alike.
TEST(BroadcastBox, EnterClosesAReceivedBox) {
  for (const bool fromText : {false, true}) {
    CBroadcastDlg box(QStringLiteral("lunch is ready"), nullptr);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QPushButton* ok = Button(box, QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    QWidget* target = fromText ? static_cast<QWidget*>(box.findChild<QPlainTextEdit*>()) : ok;
    QTest::keyClick(target, Qt::Key_Return);
    EXPECT_EQ(box.result(), QDialog::Accepted) << fromText;
    EXPECT_FALSE(box.isVisible()) << fromText;
  }
}

}  // namespace
}  // namespace netrove
