// The plain-text boxes: whatever a server put in a text, no label of the box
// reads it as rich text, and the default button is the one asked for.
#include "widgets/message_boxes.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace netrove {
namespace {

const QString kHostile = QStringLiteral("<img src=\"file:///dev/zero\"><b>bold</b>");

struct SeenBox {
  bool found = false;
  bool everyLabelPlain = true;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Runs `open`, which shows a modal box; once the box is up its labels and
// default button are read and `answer` is clicked.
SeenBox Inspect(const std::function<void()>& open, QMessageBox::StandardButton answer) {
  SeenBox seen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    seen.found = true;
    for (const QLabel* label : box->findChildren<QLabel*>()) {
      if (!label->text().isEmpty() && label->textFormat() != Qt::PlainText) {
        seen.everyLabelPlain = false;
      }
    }
    if (box->defaultButton() != nullptr)
      seen.defaultButton = box->standardButton(box->defaultButton());
    seen.icon = box->icon();
    box->button(answer)->click();
  });
  open();
  return seen;
}

TEST(PlainMessageBoxes, NoLabelReadsRichTextAndTheDefaultIsTheOneAskedFor) {
  bool answer = true;
  SeenBox seen = Inspect([&] { answer = AskPlainYesNo(nullptr, QStringLiteral("Ask"), kHostile); },
                         QMessageBox::No);
  ASSERT_TRUE(seen.found);
  EXPECT_TRUE(seen.everyLabelPlain);
  EXPECT_EQ(seen.defaultButton, QMessageBox::No);
  EXPECT_FALSE(answer);

  seen = Inspect(
      [&] {
        answer =
            AskPlainYesNo(nullptr, QStringLiteral("Ask"), kHostile, DefaultAnswer::Yes, kHostile);
      },
      QMessageBox::Yes);
  ASSERT_TRUE(seen.found);
  EXPECT_TRUE(seen.everyLabelPlain) << "the note under the question";
  EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);
  EXPECT_TRUE(answer);

  seen =
      Inspect([] { ShowPlainError(nullptr, QStringLiteral("Error"), kHostile); }, QMessageBox::Ok);
  ASSERT_TRUE(seen.found);
  EXPECT_TRUE(seen.everyLabelPlain);
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

}  // namespace
}  // namespace netrove
