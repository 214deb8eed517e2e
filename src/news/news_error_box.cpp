#include "news/news_error_box.h"

#include "base/product.h"
#include "widgets/message_boxes.h"

namespace netrove {

void ShowNewsError(QWidget* owner, const QString& text) {
  ShowPlainInformation(
      owner, QString::fromUtf8(kProductTitle.data(), static_cast<qsizetype>(kProductTitle.size())),
      text);
}

}  // namespace netrove
