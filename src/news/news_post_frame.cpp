#include "news/news_post_frame.h"

#include <QPlainTextEdit>

#include "news/news_post_headers.h"
#include "news/news_settings.h"

namespace netrove {
namespace {

// Room for the body below a header form of the stored height.
constexpr int kBodyStartHeight = 300;

}  // namespace

CNNTPFramePost::CNNTPFramePost(QWidget* parent)
    : QSplitter(Qt::Vertical, parent),
      headers_(new CNNTPPostHeaders(this)),
      body_(new QPlainTextEdit(this)) {
  body_->setLineWrapMode(QPlainTextEdit::NoWrap);
  setChildrenCollapsible(false);
  const NewsSettings settings = ReadNewsSettings();
  saveHeight_ = settings.postingPaneSaveSize;
  const int headerHeight =
      saveHeight_ ? static_cast<int>(settings.postingPaneSize) : headers_->sizeHint().height();
  setSizes({headerHeight, kBodyStartHeight});
}

void CNNTPFramePost::saveHeaderHeight() {
  if (!saveHeight_ || sizes().isEmpty()) return;
  WriteNewsNumber(kNewsPostingPaneSize, static_cast<std::uint32_t>(sizes().front()));
}

}  // namespace netrove
