#include "news/news_error_box.h"

#include <QMessageBox>

#include "base/product.h"

namespace netrove {

void ShowNewsError(QWidget* owner, const QString& text) {
  const QString caption =
      QString::fromUtf8(kProductTitle.data(), static_cast<qsizetype>(kProductTitle.size()));
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace netrove
